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
// result code (or noise), which is never taken for the answer.
class AtChannel {
public:
    enum LineKind { Echo, Text, FinalOk, FinalError, FinalCmeError, Unsolicited };
    static const size_t MAX_LINES = 16;

    AtChannel(ModemPort& port, const std::atomic<bool>& stopping);

    // prefix: the answer's "+NAME:"; empty for commands that answer with bare text (+CGMI).
    AtReply Command(const std::string& command, const std::string& prefix, DWORD timeoutMs);
    // Throws away what the modem sends until it has been quiet for quietMs (at most maxMs).
    void Drain(DWORD quietMs, DWORD maxMs);
    // Takes in what the modem sent unasked since the last command, without waiting.
    void Absorb();
    // True once after the modem announced a restart (its settings are lost).
    bool TakeRestart();

    static LineKind Classify(const std::string& line, const std::string& prefix);

private:
    ModemPort& port;
    const std::atomic<bool>& stopping;
    AtLineReader reader;
    bool restarted = false;
    bool failed = false;

    void NoteUnsolicited(const std::string& line);
};
