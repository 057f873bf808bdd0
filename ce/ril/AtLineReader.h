#pragma once

#include <string>
#include <vector>

// Cuts the bytes a modem sends into lines. CR and LF both end a line, so CRLF framing, the
// terse "0<CR>" form and echoed "AT...<CR>" lines all come out whole; empty lines are dropped.
// Bytes outside printable ASCII are dropped, and a line longer than MAX_LINE is thrown away
// whole: no AT response we read comes near it, so it can only be noise.
class AtLineReader {
public:
    static const size_t MAX_LINE = 512;

    // Appends every line completed by these bytes; a partial line waits for the next call.
    void Feed(const char* data, size_t size, std::vector<std::string>& lines);
    void Clear();
    size_t DroppedLines() const { return dropped; }

private:
    std::string partial;
    bool discarding = false;
    size_t dropped = 0;
};
