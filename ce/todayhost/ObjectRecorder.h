#pragma once

#include <windows.h>

#include <string>

// Counts the GDI, USER and kernel objects that Today item libraries hold: the libraries'
// imports of the functions that make and free such objects are redirected to recorders that
// keep the live handles, then call the real function. Wine answers neither GetGuiResources
// nor GetProcessHandleCount; these counts are what a phone's shell would see grow if an item
// leaked per polling cycle.
class ObjectRecorder {
public:
    struct Counts {
        long gdi = 0;    // pens, brushes, fonts, bitmaps, regions, memory DCs, window DCs
        long user = 0;   // windows, menus, icons
        long kernel = 0; // files, mappings, events, threads, mutexes, semaphores
    };

    // Redirects the module's imports; returns how many were redirected.
    static int Patch(HMODULE module);
    // Objects made by the patched libraries and not yet freed. Windows destroyed along with
    // their parent and menus destroyed with the menu they hang in count as freed.
    static Counts Live();
    // The live kernel handles by the function that made them: "CreateEventW 2, ...".
    static std::string KernelMakers();
};
