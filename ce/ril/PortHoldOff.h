#pragma once

#include <windows.h>

#include <map>
#include <string>

// Keeps RIL_Initialize from making its caller wait again and again on a port that made it wait
// and then failed: a silent port costs the whole probe, an unresolved host name the whole
// lookup, and the Today item asks on its window thread at every poll. For a while after such a
// failure the port fails at once; the while doubles with each slow failure in a row, up to
// MAX_MS. A port that fails at once (not plugged in) is never held, so a modem plugged in is
// found at the next poll.
class PortHoldOff {
public:
    // A failed open that took this long is a slow one.
    static constexpr DWORD SLOW_MS = 500;
    static constexpr DWORD FIRST_MS = 10000;
    static constexpr DWORD MAX_MS = 60000;

    // Times are GetTickCount's.
    bool Held(const std::wstring& port, DWORD now) const;
    void Failed(const std::wstring& port, DWORD began, DWORD now);
    void Opened(const std::wstring& port);

private:
    struct Hold {
        DWORD since;
        DWORD lengthMs;
    };
    std::map<std::wstring, Hold> holds;
};
