#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What an installed package put on the device, kept under HKLM\Software\Apps\<name> so that
// the removal takes away exactly that.
class InstallRecord {
public:
    static std::wstring KeyPath(const std::wstring& packageName);

    bool Load(const std::wstring& packageName);
    bool Save() const;
    bool Remove() const;

    std::wstring name;
    std::wstring installDir;
    std::wstring setupDll;             // device path of the kept setup library, or empty
    std::vector<std::wstring> files;   // device paths
    std::vector<std::wstring> folders; // device folders the package created, outermost first
    std::vector<std::wstring> values;  // "HKLM\key" TAB "name"
    std::vector<std::wstring> keys;    // "HKLM\key" keys the package created

    // Value names the record itself uses, for taking a snapshot of it.
    static const wchar_t* const kValueNames[];
    static const int kValueCount;
};
