#pragma once

#include <windows.h>

#include <string>

#include "ce_setup.h"

// A package's setup library, loaded for one install or removal. All four entries must be
// there: a library that lacks one is not a setup library.
class SetupLibrary {
public:
    SetupLibrary() = default;
    ~SetupLibrary();
    SetupLibrary(const SetupLibrary&) = delete;
    SetupLibrary& operator=(const SetupLibrary&) = delete;

    bool Load(const std::wstring& path, std::wstring& error);
    void Unload();
    bool IsLoaded() const { return module != nullptr; }

    codeINSTALL_INIT InstallInit(BOOL previouslyInstalled, const std::wstring& installDir);
    codeINSTALL_EXIT InstallExit(const std::wstring& installDir, WORD failedDirs, WORD failedFiles,
                                 WORD failedRegKeys, WORD failedRegValues);
    codeUNINSTALL_INIT UninstallInit(const std::wstring& installDir);
    codeUNINSTALL_EXIT UninstallExit();

private:
    HMODULE module = nullptr;
    pfnINSTALL_INIT installInit = nullptr;
    pfnINSTALL_EXIT installExit = nullptr;
    pfnUNINSTALL_INIT uninstallInit = nullptr;
    pfnUNINSTALL_EXIT uninstallExit = nullptr;
};
