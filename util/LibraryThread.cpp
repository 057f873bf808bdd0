#include "LibraryThread.h"

#include <new>

#ifdef UNDER_CE
// The start of this module's image, provided by the linker.
extern "C" IMAGE_DOS_HEADER __ImageBase;
#endif

namespace {

struct StartInfo {
    LPTHREAD_START_ROUTINE procedure;
    void* parameter;
    HMODULE library;
};

// A counted reference on the module that holds this code.
HMODULE ReferenceOwnLibrary() {
#ifdef UNDER_CE
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    return LoadLibraryW(path);
#else
    HMODULE library = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&ReferenceOwnLibrary), &library))
        return nullptr;
    return library;
#endif
}

} // namespace

HANDLE LibraryThread::Start(LPTHREAD_START_ROUTINE procedure, void* parameter) {
    HMODULE library = ReferenceOwnLibrary();
    if (!library)
        return nullptr;
    StartInfo* start = new (std::nothrow) StartInfo{procedure, parameter, library};
    HANDLE thread = start ? CreateThread(nullptr, 0, Run, start, 0, nullptr) : nullptr;
    if (!thread) {
        delete start;
        FreeLibrary(library);
    }
    return thread;
}

DWORD WINAPI LibraryThread::Run(void* parameter) {
    StartInfo start = *static_cast<StartInfo*>(parameter);
    delete static_cast<StartInfo*>(parameter);
    DWORD code = start.procedure(start.parameter);
    // Never returns here: the library may be unmapped the moment the reference goes.
    FreeLibraryAndExitThread(start.library, code);
    return code;
}
