#include "PortHoldOff.h"

bool PortHoldOff::Held(const std::wstring& port, DWORD now) const {
    auto found = holds.find(port);
    // Unsigned differences stay right across the tick count's wrap.
    return found != holds.end() && now - found->second.since < found->second.lengthMs;
}

void PortHoldOff::Failed(const std::wstring& port, DWORD began, DWORD now) {
    if (now - began < SLOW_MS) {
        holds.erase(port);
        return;
    }
    auto found = holds.find(port);
    DWORD length = found == holds.end()                   ? FIRST_MS
                   : found->second.lengthMs >= MAX_MS / 2 ? MAX_MS
                                                          : 2 * found->second.lengthMs;
    holds[port] = {now, length};
}

void PortHoldOff::Opened(const std::wstring& port) {
    holds.erase(port);
}
