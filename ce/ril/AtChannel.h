#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "AtLineReader.h"
#include "ModemPort.h"

// The outcome of one AT command.
struct AtReply {
    enum Status { Ok, Error, CmeError, Timeout, PortFailed, Stopped };
    Status status = Timeout;
    // The information text that belongs to the command, in order (at most MAX_LINES).
    std::vector<std::string> lines;
};

// One command at a time on a modem's line: sends it, then sorts every line that comes back
// into the command's echo, its information text, its final result code, or an unsolicited
// result code (or noise), which is never taken for the answer. Every read is bounded in time
// and in bytes and ends at a stop request; nothing read is kept beyond the line being cut.
class AtChannel {
public:
    enum LineKind { Echo, Text, FinalOk, FinalError, FinalCmeError, Unsolicited };
    static const size_t MAX_LINES = 16;
    // The most one command, pause or look for unasked codes reads. An answer is a fraction of it
    // (MAX_LINES lines); a port that sends more streams something else, and is taken as lost.
    static const size_t MAX_READ_BYTES = 16384;

    // reader: the line being cut when the port was read before (PortProbe), so that its end is
    // not taken for a line of its own.
    AtChannel(ModemPort& port, const std::atomic<bool>& stopping,
              const AtLineReader& reader = AtLineReader());

    // prefix: the answer's "+NAME:"; empty for commands that answer with bare text (+CGMI).
    AtReply Command(const std::string& command, const std::string& prefix, DWORD timeoutMs);
    // Reads until the modem has been quiet for quietMs (at most maxMs); false once lost.
    bool Drain(DWORD quietMs, DWORD maxMs);
    // Takes in what the modem sent unasked since the last command, without waiting; false once
    // lost.
    bool Absorb();
    // True once after the modem announced a restart (its settings are lost).
    bool TakeRestart();
    // The port failed, or streamed more than MAX_READ_BYTES at once.
    bool Lost() const { return lost; }
    // Lost because the port streamed.
    bool Flooded() const { return flooded; }

    static LineKind Classify(const std::string& line, const std::string& prefix);

private:
    // One read of at most timeoutMs into lines; false when the port failed or the budget is spent.
    bool ReadLines(DWORD timeoutMs, size_t& budget, std::vector<std::string>& lines);
    void TakeUnsolicited(const std::string& line);

    ModemPort& port;
    const std::atomic<bool>& stopping;
    AtLineReader reader;
    bool restarted = false;
    bool lost = false;
    bool flooded = false;
};
