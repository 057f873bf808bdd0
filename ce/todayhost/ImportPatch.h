#pragma once

#include <windows.h>

#include <cstddef>

// One function a module imports by name, and what its calls should reach instead.
struct ImportRedirect {
    const char* name;
    void* replacement;
};

// Points the module's imports of the named functions at their replacements, so the host can
// watch what an item library does; returns how many import slots were changed.
int RedirectImports(HMODULE module, const ImportRedirect* redirects, size_t count);

// Where the module's import slot of the named function points now, or null when the module
// does not import it by name.
void* ImportedAddress(HMODULE module, const char* name);
