#pragma once

#include <windows.h>

#include <string>

// Database files for the tests, under the device root the tests run in.
inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (!bytes.empty()) {
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    CloseHandle(file);
}

inline std::wstring TestFolder(const wchar_t* name) {
    std::wstring folder = std::wstring(L"\\") + name + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}
