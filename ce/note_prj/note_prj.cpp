// The storage-card folder query. On the device a storage card appears as a folder in the root
// of the object store carrying FILE_ATTRIBUTE_TEMPORARY. Here the root is that of the current
// drive (the prefix's drive_c); a folder counts as a card when it carries that attribute or is
// named in the list of card folders (docs/note_prj.md).

#include "projects.h"

#include <string>
#include <vector>

#include "RuntimePool.h"

namespace {

const wchar_t* const SettingsKey = L"Software\\KestrelDevice\\FlashCards";
const wchar_t* const DefaultFolders = L"Storage Card";
const DWORD MaxSettingChars = 1024;

std::wstring ReadFolderSetting() {
    wchar_t text[MaxSettingChars] = L"";
    DWORD chars = GetEnvironmentVariableW(L"KESTREL_FLASHCARDS", text, MaxSettingChars);
    if (chars > 0 && chars < MaxSettingChars) {
        return text;
    }
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, SettingsKey, L"Folders", RRF_RT_REG_SZ, &type, text,
                     &bytes) == ERROR_SUCCESS) {
        return text;
    }
    return DefaultFolders;
}

// "Storage Card;SD Card" -> its names, empty ones dropped.
std::vector<std::wstring> CardFolderNames() {
    std::vector<std::wstring> names;
    std::wstring setting = ReadFolderSetting();
    size_t start = 0;
    while (start <= setting.size()) {
        size_t end = setting.find(L';', start);
        if (end == std::wstring::npos) {
            end = setting.size();
        }
        if (end > start) {
            names.push_back(setting.substr(start, end - start));
        }
        start = end + 1;
    }
    return names;
}

bool IsCardFolder(const WIN32_FIND_DATAW& data) {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_TEMPORARY) {
        return true;
    }
    for (const std::wstring& name : CardFolderNames()) {
        if (lstrcmpiW(name.c_str(), data.cFileName) == 0) {
            return true;
        }
    }
    return false;
}

// Moves the search on until it stands on a card folder.
BOOL SkipToCard(HANDLE search, LPWIN32_FIND_DATAW data) {
    while (!IsCardFolder(*data)) {
        if (!FindNextFileW(search, data)) {
            return FALSE;
        }
    }
    return TRUE;
}

} // namespace

// Gives the runtime's exception pool back when the library is unloaded.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        RuntimePool::ReleaseOnUnload(reserved);
    }
    return TRUE;
}

extern "C" HANDLE WINAPI FindFirstFlashCard(LPWIN32_FIND_DATAW lpFindFlashData) {
    if (!lpFindFlashData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // The search handle is an ordinary one, so the caller closes it with FindClose.
    HANDLE search = FindFirstFileW(L"\\*", lpFindFlashData);
    if (search == INVALID_HANDLE_VALUE) {
        return INVALID_HANDLE_VALUE;
    }
    if (!SkipToCard(search, lpFindFlashData)) {
        FindClose(search);
        SetLastError(ERROR_NO_MORE_FILES);
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

extern "C" BOOL WINAPI FindNextFlashCard(HANDLE hFlashCard, LPWIN32_FIND_DATAW lpFindFlashData) {
    if (hFlashCard == INVALID_HANDLE_VALUE || !hFlashCard || !lpFindFlashData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!FindNextFileW(hFlashCard, lpFindFlashData)) {
        return FALSE;
    }
    return SkipToCard(hFlashCard, lpFindFlashData);
}
