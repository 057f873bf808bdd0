#pragma once

// A modem port in memory for the AT channel's and the port probe's tests: each read takes the
// next scripted reply (one per command written, or always the same stream), up to a total.

#include <string>
#include <vector>

#include "ModemPort.h"

class FakePort : public ModemPort {
public:
    // Replies handed out one per read, after each write; an empty one reads as nothing.
    std::vector<std::string> replies;
    // Sent in every read once the replies are used up, until limit bytes have been read.
    std::string stream;
    size_t limit = 0;
    size_t bytesRead = 0;
    std::vector<std::string> written;

    bool Write(const std::string& bytes) override {
        written.push_back(bytes);
        return true;
    }
    int Read(char* buffer, int size, DWORD) override {
        std::string next;
        if (next_ < replies.size()) {
            next = replies[next_++];
        } else if (!stream.empty() && bytesRead < limit) {
            next = stream;
        }
        size_t count = next.size() < static_cast<size_t>(size) ? next.size() : size;
        next.copy(buffer, count);
        bytesRead += count;
        return static_cast<int>(count);
    }

private:
    size_t next_ = 0;
};
