#pragma once

#include <windows.h>

#include <string>

// Connection Manager and shell stand-in settings for one test, undone afterwards.
class StandInSettings {
public:
    StandInSettings();
    ~StandInSettings();
    void Set(const wchar_t* name, const wchar_t* value);
    std::string ConnMgrLog() const;
    std::string ShellLog() const;

private:
    std::wstring connMgrLog;
    std::wstring shellLog;
};

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// A fresh folder under the temporary folder, ending in a backslash.
std::wstring TestFolder(const wchar_t* name);
