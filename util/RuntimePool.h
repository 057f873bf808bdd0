#pragma once

#include <windows.h>

// The C++ runtime linked into each of our libraries takes an emergency pool for exceptions
// (some 70 KB) from malloc when the library is loaded and never gives it back, so every
// unload used to lose it: the Today shell reloads the item's library whenever settings change.
namespace RuntimePool {

// From DllMain's DLL_PROCESS_DETACH, with its reserved argument. The pool goes back only when
// FreeLibrary unloads the library (reserved null): at the end of the process a thread that was
// killed may still hold the heap's lock, and the memory goes with the process anyway.
void ReleaseOnUnload(LPVOID reserved);

} // namespace RuntimePool
