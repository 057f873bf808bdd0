#pragma once

#include <windows.h>

#include <map>

// Keeps track of the timers a Today item sets on its windows: the item library's imports of
// SetTimer and KillTimer are redirected to recorders that note the id and the period, then
// call the real function. Window thread only, as the item's timers are.
class TimerRecorder {
public:
    // Redirects the module's imports; returns how many were redirected.
    static int Patch(HMODULE module);

    // The live timers of a window, period in milliseconds by id.
    static std::map<UINT_PTR, UINT> Timers(HWND window);
    // A destroyed window's timers are gone with it.
    static void Forget(HWND window);
};
