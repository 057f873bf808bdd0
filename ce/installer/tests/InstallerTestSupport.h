#pragma once

#include <windows.h>

#include <string>

// Helpers of the installer host's tests: they run installer.exe as the device would, as a
// process of its own, and look at the device (drive_c, the registry) afterwards.

struct RunResult {
    DWORD exitCode;
    std::string output; // stdout and stderr together
};

// Runs installer.exe from the test's own folder. Window messages sent to this thread are
// handled while waiting, so a window the test made can answer the setup library.
RunResult RunInstaller(const std::wstring& arguments);

std::wstring BinPath(const std::wstring& fileName);
// A file of the Kestrel package as the build lays it out (build/package/).
std::wstring PackagePath(const std::wstring& fileName);
bool WriteTextFile(const std::wstring& path, const std::string& text);
std::string ReadTextFile(const std::wstring& path);
bool PathExists(const std::wstring& path);
void DeleteFolderTree(const std::wstring& folder);
// Files below folder whose name ends with suffix.
int CountFilesEndingWith(const std::wstring& folder, const std::wstring& suffix);

bool KeyExists(HKEY root, const std::wstring& keyPath);
// -1 when the value or key is missing.
long long ReadDword(HKEY root, const std::wstring& keyPath, const std::wstring& name);
std::wstring ReadString(HKEY root, const std::wstring& keyPath, const std::wstring& name);
bool SetDword(HKEY root, const std::wstring& keyPath, const std::wstring& name, DWORD value);

// Moves a key with everything under it to savedPath (false: there was none), and back.
bool MoveKeyAside(const std::wstring& keyPath, const std::wstring& savedPath);
void MoveKeyBack(const std::wstring& keyPath, const std::wstring& savedPath);
