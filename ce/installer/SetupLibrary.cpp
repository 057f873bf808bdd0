#include "SetupLibrary.h"

namespace {

template <typename T> T Entry(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

SetupLibrary::~SetupLibrary() {
    Unload();
}

bool SetupLibrary::Load(const std::wstring& path, std::wstring& error) {
    Unload();
    // No "cannot load" box in a headless run.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(oldMode);
    if (!module) {
        error = L"cannot load the setup library " + path + L" (error " +
                std::to_wstring(GetLastError()) + L")";
        return false;
    }
    installInit = Entry<pfnINSTALL_INIT>(module, szINSTALL_INIT);
    installExit = Entry<pfnINSTALL_EXIT>(module, szINSTALL_EXIT);
    uninstallInit = Entry<pfnUNINSTALL_INIT>(module, szUNINSTALL_INIT);
    uninstallExit = Entry<pfnUNINSTALL_EXIT>(module, szUNINSTALL_EXIT);
    if (!installInit || !installExit || !uninstallInit || !uninstallExit) {
        error = path + L" does not export Install_Init, Install_Exit, Uninstall_Init and "
                       L"Uninstall_Exit";
        Unload();
        return false;
    }
    return true;
}

void SetupLibrary::Unload() {
    if (module) {
        FreeLibrary(module);
        module = nullptr;
    }
    installInit = nullptr;
    installExit = nullptr;
    uninstallInit = nullptr;
    uninstallExit = nullptr;
}

codeINSTALL_INIT SetupLibrary::InstallInit(BOOL previouslyInstalled,
                                           const std::wstring& installDir) {
    return installInit ? installInit(nullptr, TRUE, previouslyInstalled, installDir.c_str())
                       : codeINSTALL_INIT_CONTINUE;
}

codeINSTALL_EXIT SetupLibrary::InstallExit(const std::wstring& installDir, WORD failedDirs,
                                           WORD failedFiles, WORD failedRegKeys,
                                           WORD failedRegValues) {
    return installExit ? installExit(nullptr, installDir.c_str(), failedDirs, failedFiles,
                                     failedRegKeys, failedRegValues, 0)
                       : codeINSTALL_EXIT_DONE;
}

codeUNINSTALL_INIT SetupLibrary::UninstallInit(const std::wstring& installDir) {
    return uninstallInit ? uninstallInit(nullptr, installDir.c_str()) : codeUNINSTALL_INIT_CONTINUE;
}

codeUNINSTALL_EXIT SetupLibrary::UninstallExit() {
    return uninstallExit ? uninstallExit(nullptr) : codeUNINSTALL_EXIT_DONE;
}
