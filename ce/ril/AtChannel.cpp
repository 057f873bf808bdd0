#include "AtChannel.h"

#include <cctype>
#include <cstring>

#include "AtParse.h"

namespace {

// Reads are cut into slices, so that closing the radio layer never waits for a silent modem.
const DWORD SLICE_MS = 50;

const char* const REGISTRATION_PREFIXES[] = {"+CREG:", "+CGREG:", "+CEREG:", "+C5GREG:"};

// Result codes that arrive on their own, without a prefix of the +NAME: kind.
const char* const BARE_UNSOLICITED[] = {"RING",       "NO CARRIER",  "BUSY",
                                        "NO ANSWER",  "NO DIALTONE", "RDY",
                                        "Call Ready", "SMS Ready",   "POWERED DOWN"};

bool IsEcho(const std::string& line) {
    if (line.size() < 2 || std::toupper(static_cast<unsigned char>(line[0])) != 'A' ||
        std::toupper(static_cast<unsigned char>(line[1])) != 'T') {
        return false;
    }
    return line.size() == 2 || strchr("+#^&%$*EeVvQqIiZz", line[2]) != nullptr;
}

} // namespace

AtChannel::AtChannel(ModemPort& port, const std::atomic<bool>& stopping)
    : port(port), stopping(stopping) {}

AtChannel::LineKind AtChannel::Classify(const std::string& line, const std::string& prefix) {
    if (line == "OK" || line == "0") {
        return FinalOk;
    }
    if (line == "ERROR" || line == "4" || AtParse::StartsWith(line, "+CMS ERROR:")) {
        return FinalError;
    }
    if (AtParse::StartsWith(line, "+CME ERROR:")) {
        return FinalCmeError;
    }
    if (IsEcho(line)) {
        return Echo;
    }
    if (prefix.empty()) {
        // Bare information text (+CGMI, +CGMM), or the same with the command's name before it.
        for (const char* bare : BARE_UNSOLICITED) {
            if (line == bare) {
                return Unsolicited;
            }
        }
        bool marked = strchr("+^#*%$", line[0]) != nullptr;
        return !marked || AtParse::StartsWith(line, "+CGM") ? Text : Unsolicited;
    }
    if (!AtParse::StartsWith(line, prefix.c_str())) {
        return Unsolicited;
    }
    for (const char* registration : REGISTRATION_PREFIXES) {
        if (prefix == registration) {
            return AtParse::IsRegistrationRead(line) ? Text : Unsolicited;
        }
    }
    return Text;
}

AtReply AtChannel::Command(const std::string& command, const std::string& prefix, DWORD timeoutMs) {
    AtReply reply;
    if (failed || !port.Write(command + "\r")) {
        failed = true;
        reply.status = AtReply::PortFailed;
        return reply;
    }
    DWORD start = GetTickCount();
    std::vector<std::string> lines;
    char buffer[1024];
    for (;;) {
        for (const std::string& line : lines) {
            switch (Classify(line, prefix)) {
            case Echo:
                break;
            case Text:
                if (reply.lines.size() < MAX_LINES) {
                    reply.lines.push_back(line);
                }
                break;
            case FinalOk:
            case FinalError:
            case FinalCmeError: {
                LineKind kind = Classify(line, prefix);
                reply.status = kind == FinalOk      ? AtReply::Ok
                               : kind == FinalError ? AtReply::Error
                                                    : AtReply::CmeError;
                // Lines after the final result code belong to no command: unsolicited.
                reader.Clear();
                return reply;
            }
            case Unsolicited:
                NoteUnsolicited(line);
                break;
            }
        }
        lines.clear();
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            reply.status = AtReply::Timeout;
            return reply;
        }
        if (stopping) {
            reply.status = AtReply::Stopped;
            return reply;
        }
        DWORD slice = timeoutMs - elapsed < SLICE_MS ? timeoutMs - elapsed : SLICE_MS;
        int got = port.Read(buffer, sizeof(buffer), slice);
        if (got < 0) {
            failed = true;
            reply.status = AtReply::PortFailed;
            return reply;
        }
        reader.Feed(buffer, static_cast<size_t>(got), lines);
    }
}

void AtChannel::Drain(DWORD quietMs, DWORD maxMs) {
    DWORD start = GetTickCount();
    DWORD lastByte = start;
    char buffer[1024];
    std::vector<std::string> lines;
    while (!failed && !stopping && GetTickCount() - lastByte < quietMs &&
           GetTickCount() - start < maxMs) {
        int got = port.Read(buffer, sizeof(buffer), SLICE_MS);
        if (got < 0) {
            failed = true;
        } else if (got > 0) {
            lastByte = GetTickCount();
            reader.Feed(buffer, static_cast<size_t>(got), lines);
        }
    }
    for (const std::string& line : lines) {
        NoteUnsolicited(line);
    }
    reader.Clear();
}

void AtChannel::Absorb() {
    char buffer[1024];
    std::vector<std::string> lines;
    int got;
    while (!failed && lines.size() < MAX_LINES &&
           (got = port.Read(buffer, sizeof(buffer), 0)) != 0) {
        if (got < 0) {
            failed = true;
        } else {
            reader.Feed(buffer, static_cast<size_t>(got), lines);
        }
    }
    for (const std::string& line : lines) {
        NoteUnsolicited(line);
    }
}

bool AtChannel::TakeRestart() {
    bool was = restarted;
    restarted = false;
    return was;
}

void AtChannel::NoteUnsolicited(const std::string& line) {
    // Start-up announcements of the common makers.
    if (line == "RDY" || AtParse::StartsWith(line, "^SYSSTART") || line == "+CFUN: 1") {
        restarted = true;
    }
}
