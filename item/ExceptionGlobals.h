#pragma once

#include <windows.h>

// The C++ runtime's per-thread exception state (__cxa_get_globals), kept in a TLS slot and a
// heap of the library's own. The runtime linked into the library keeps it in emulated TLS, whose
// first use in each loaded instance makes a pthread key lock with two semaphores that no unload
// frees: the Today shell, which reloads the library whenever settings change, would lose two
// handles for every instance that met an exception.
class ExceptionGlobals {
public:
    // From DllMain: PROCESS_ATTACH before anything can throw, PROCESS_DETACH last.
    static bool Attach();
    static void Detach();
    // From DllMain's THREAD_DETACH: the ending thread's state goes with it.
    static void ThreadDetach();
};
