#pragma once

// Finds the settings pages' dialogs of the test thread from a helper thread and reads the
// item's settings key. The test thread sits in the dialog's modal loop meanwhile.

#include <windows.h>

#include <functional>
#include <string>

namespace page_driver {

const DWORD WaitMs = 10000;
const wchar_t* const SettingsKey = L"Software\\Microsoft\\Today\\Items\\Kestrel";

// A visible top-level dialog of `thread` for which `match` holds.
inline HWND FindDialog(DWORD thread, const std::function<bool(HWND)>& match) {
    struct Search {
        const std::function<bool(HWND)>* match;
        HWND found;
    } search = {&match, nullptr};
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t className[16] = L"";
            GetClassNameW(window, className, 16);
            if (lstrcmpW(className, L"#32770") == 0 && IsWindowVisible(window) &&
                (*s->match)(window)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND WaitForDialog(DWORD thread, const std::function<bool(HWND)>& match) {
    for (DWORD waited = 0; waited < WaitMs; waited += 20) {
        HWND found = FindDialog(thread, match);
        if (found)
            return found;
        Sleep(20);
    }
    return nullptr;
}

// The page of dialog resource `id`'s controls: a dialog with control `controlId`.
inline HWND WaitForPage(DWORD thread, int controlId) {
    return WaitForDialog(thread, [=](HWND w) { return GetDlgItem(w, controlId) != nullptr; });
}

inline bool WaitUntilGone(HWND window) {
    for (DWORD waited = 0; waited < WaitMs; waited += 10) {
        if (!IsWindow(window))
            return true;
        Sleep(10);
    }
    return false;
}

inline std::wstring Text(HWND dialog, int id) {
    wchar_t text[1024] = L"";
    GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

inline void DeleteSettings() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, SettingsKey);
}

inline bool ReadDWORD(const wchar_t* name, DWORD& value) {
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_LOCAL_MACHINE, SettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS;
}

// False when the value is missing or not a string.
inline bool ReadString(const wchar_t* name, std::wstring& value) {
    wchar_t text[1024];
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, SettingsKey, name, RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS)
        return false;
    value = text;
    return true;
}

} // namespace page_driver
