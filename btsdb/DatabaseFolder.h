#pragma once

#include <string>

// The default folder of the BTS databases: "GsmDB" in the first storage card, or in the root
// when there is no card. Always ends in "\GsmDB\".
std::wstring GetDefaultDatabaseFolder();
// True when the path's attributes can be read and say it is a directory.
bool DirectoryExists(const std::wstring& path);
// Creates this one directory (not its parents); true on success.
bool CreateFolder(const std::wstring& path);
