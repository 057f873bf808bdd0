#include "ImportPatch.h"

#include <cstring>

namespace {

// Calls visit(slot) for every import slot of the module that imports the named function by
// name; stops when visit answers false.
template <class Visit> void ForEachImportSlot(HMODULE module, const char* name, Visit visit) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE)
        return;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress)
        return;
    auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; descriptor->Name; ++descriptor) {
        if (!descriptor->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0 && !visit(slots))
                return;
        }
    }
}

} // namespace

int RedirectImports(HMODULE module, const ImportRedirect* redirects, size_t count) {
    int patched = 0;
    for (size_t i = 0; i < count; ++i) {
        ForEachImportSlot(module, redirects[i].name, [&](IMAGE_THUNK_DATA* slot) {
            DWORD protection;
            if (VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE,
                               &protection)) {
                slot->u1.Function = reinterpret_cast<ULONG_PTR>(redirects[i].replacement);
                VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection,
                               &protection);
                ++patched;
            }
            return true;
        });
    }
    return patched;
}

void* ImportedAddress(HMODULE module, const char* name) {
    void* address = nullptr;
    ForEachImportSlot(module, name, [&](IMAGE_THUNK_DATA* slot) {
        address = reinterpret_cast<void*>(slot->u1.Function);
        return false;
    });
    return address;
}
