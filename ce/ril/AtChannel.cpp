#include "AtChannel.h"

#include <cctype>
#include <cstring>

#include "AtParse.h"
#include "AtUnsolicited.h"

namespace {

// Reads are cut into slices, so that closing the radio layer never waits for a silent modem.
const DWORD SLICE_MS = 50;

const char* const REGISTRATION_PREFIXES[] = {"+CREG:", "+CGREG:", "+CEREG:", "+C5GREG:"};

bool IsEcho(const std::string& line) {
    if (line.size() < 2 || std::toupper(static_cast<unsigned char>(line[0])) != 'A' ||
        std::toupper(static_cast<unsigned char>(line[1])) != 'T') {
        return false;
    }
    return line.size() == 2 || strchr("+#^&%$*EeVvQqIiZz", line[2]) != nullptr;
}

} // namespace

AtChannel::AtChannel(ModemPort& port, const std::atomic<bool>& stopping, const AtLineReader& reader)
    : port(port), stopping(stopping), reader(reader) {}

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
        AtUnsolicited::Effect effect;
        if (AtUnsolicited::Find(line, effect)) {
            return Unsolicited;
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
    if (lost || !port.Write(command + "\r")) {
        lost = true;
        reply.status = AtReply::PortFailed;
        return reply;
    }
    DWORD start = GetTickCount();
    size_t budget = MAX_READ_BYTES;
    bool answered = false;
    std::vector<std::string> lines;
    for (;;) {
        for (const std::string& line : lines) {
            // Lines after the final result code belong to no command: unsolicited.
            LineKind kind = answered ? Unsolicited : Classify(line, prefix);
            switch (kind) {
            case Echo:
                break;
            case Text:
                if (reply.lines.size() < MAX_LINES) {
                    reply.lines.push_back(line);
                }
                break;
            case FinalOk:
            case FinalError:
            case FinalCmeError:
                reply.status = kind == FinalOk      ? AtReply::Ok
                               : kind == FinalError ? AtReply::Error
                                                    : AtReply::CmeError;
                answered = true;
                break;
            case Unsolicited:
                TakeUnsolicited(line);
                break;
            }
        }
        lines.clear();
        if (answered) {
            return reply;
        }
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
        if (!ReadLines(slice, budget, lines)) {
            reply.status = AtReply::PortFailed;
            return reply;
        }
    }
}

bool AtChannel::Drain(DWORD quietMs, DWORD maxMs) {
    DWORD start = GetTickCount();
    DWORD lastByte = start;
    size_t budget = MAX_READ_BYTES;
    std::vector<std::string> lines;
    while (!lost && !stopping && GetTickCount() - lastByte < quietMs &&
           GetTickCount() - start < maxMs) {
        size_t before = budget;
        if (ReadLines(SLICE_MS, budget, lines) && budget != before) {
            lastByte = GetTickCount();
        }
        for (const std::string& line : lines) {
            TakeUnsolicited(line);
        }
        lines.clear();
    }
    return !lost;
}

bool AtChannel::Absorb() {
    size_t budget = MAX_READ_BYTES;
    std::vector<std::string> lines;
    size_t before;
    do {
        before = budget;
        if (lost || stopping || !ReadLines(0, budget, lines)) {
            break;
        }
        for (const std::string& line : lines) {
            TakeUnsolicited(line);
        }
        lines.clear();
    } while (budget != before);
    return !lost;
}

bool AtChannel::ReadLines(DWORD timeoutMs, size_t& budget, std::vector<std::string>& lines) {
    char buffer[1024];
    int got = port.Read(buffer, sizeof(buffer), timeoutMs);
    if (got < 0 || static_cast<size_t>(got) > budget) {
        flooded = got >= 0;
        lost = true;
        return false;
    }
    budget -= static_cast<size_t>(got);
    reader.Feed(buffer, static_cast<size_t>(got), lines);
    return true;
}

bool AtChannel::TakeRestart() {
    bool was = restarted;
    restarted = false;
    return was;
}

void AtChannel::TakeUnsolicited(const std::string& line) {
    AtUnsolicited::Effect effect;
    if (AtUnsolicited::Find(line, effect) && effect == AtUnsolicited::Restart) {
        restarted = true;
    }
}
