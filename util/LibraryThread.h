#pragma once

#include <windows.h>

// Threads that run code of the library they are started from. The Today shell frees the
// item's library on every reload; a thread still running in it would then execute code that
// is no longer mapped. Each thread started here holds a reference on the library (or program)
// that contains this code, and drops it as it exits, so the library is unloaded only once its
// last such thread has ended.
class LibraryThread {
public:
    // Like CreateThread(nullptr, 0, procedure, parameter, 0, nullptr); null on failure. The
    // caller closes the handle.
    static HANDLE Start(LPTHREAD_START_ROUTINE procedure, void* parameter);

private:
    static DWORD WINAPI Run(void* start);
};
