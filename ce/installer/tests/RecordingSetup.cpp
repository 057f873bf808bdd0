// A setup library for the installer host's tests: each entry appends a line to
// "\installer_calls.txt" saying what it saw (how many files the install folder held).
// "\installer_cancel.txt" makes the Init entries cancel, "\installer_undo.txt" makes
// Install_Exit ask for the installation to be undone.

#include <windows.h>

#include <string>

#include "ce_setup.h"

namespace {

bool Exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

int CountFiles(const wchar_t* folder) {
    if (!folder) {
        return -1;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int count = 0;
    do {
        count += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return count;
}

void Record(const std::string& line) {
    HANDLE file = CreateFileW(L"\\installer_calls.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace

extern "C" codeINSTALL_INIT Install_Init(HWND, BOOL, BOOL previouslyInstalled, LPCWSTR installDir) {
    Record("Install_Init previous=" + std::to_string(previouslyInstalled ? 1 : 0) +
           " files=" + std::to_string(CountFiles(installDir)));
    return Exists(L"\\installer_cancel.txt") ? codeINSTALL_INIT_CANCEL : codeINSTALL_INIT_CONTINUE;
}

extern "C" codeINSTALL_EXIT Install_Exit(HWND, LPCWSTR installDir, WORD failedDirs,
                                         WORD failedFiles, WORD failedRegKeys, WORD failedRegValues,
                                         WORD failedShortcuts) {
    Record("Install_Exit failed=" + std::to_string(failedDirs) + "," + std::to_string(failedFiles) +
           "," + std::to_string(failedRegKeys) + "," + std::to_string(failedRegValues) + "," +
           std::to_string(failedShortcuts) + " files=" + std::to_string(CountFiles(installDir)));
    return Exists(L"\\installer_undo.txt") ? codeINSTALL_EXIT_UNINSTALL : codeINSTALL_EXIT_DONE;
}

extern "C" codeUNINSTALL_INIT Uninstall_Init(HWND, LPCWSTR installDir) {
    Record("Uninstall_Init files=" + std::to_string(CountFiles(installDir)));
    return Exists(L"\\installer_cancel.txt") ? codeUNINSTALL_INIT_CANCEL
                                             : codeUNINSTALL_INIT_CONTINUE;
}

extern "C" codeUNINSTALL_EXIT Uninstall_Exit(HWND) {
    Record("Uninstall_Exit");
    return codeUNINSTALL_EXIT_DONE;
}
