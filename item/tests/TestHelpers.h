#pragma once

// Registry, file and message-loop helpers of the item's tests. The item's settings key is
// shared by the tests, which delete it before and after.

#include <windows.h>

#include <functional>
#include <string>

namespace harness {

const wchar_t* const SettingsKey = L"Software\\Microsoft\\Today\\Items\\Kestrel";

inline void DeleteSettings() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, SettingsKey);
}

// A DWORD under HKEY_LOCAL_MACHINE\keyPath, the key made when missing.
inline void SetKeyDWORD(const wchar_t* keyPath, const wchar_t* name, DWORD value) {
    HKEY key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

inline void SetKeyString(const wchar_t* keyPath, const wchar_t* name, const std::wstring& text) {
    HKEY key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The item's settings.
inline void SetDWORD(const wchar_t* name, DWORD value) {
    SetKeyDWORD(SettingsKey, name, value);
}

inline void SetString(const wchar_t* name, const std::wstring& text) {
    SetKeyString(SettingsKey, name, text);
}

inline bool ReadDWORD(const wchar_t* name, DWORD& value) {
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_LOCAL_MACHINE, SettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS;
}

inline std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

inline std::wstring ReadUtf16File(const std::wstring& path) {
    std::string bytes = ReadFileBytes(path);
    if (bytes.size() < 2)
        return std::wstring();
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(&text[0], bytes.data() + 2, text.size() * 2);
    return text;
}

inline void WriteTextFile(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    CloseHandle(file);
}

inline int CountLines(const std::string& text, const std::string& line) {
    int count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
        ++count;
    return count;
}

// Dispatches messages until the condition holds; false after the time-out.
inline bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

inline void Pump() {
    PumpUntil([] { return true; }, 0);
}

} // namespace harness
