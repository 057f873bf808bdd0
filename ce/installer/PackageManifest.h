#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One file of a package: where it is on the host and the device folder it goes to.
struct PackageFile {
    std::wstring source;     // full host path
    std::wstring destFolder; // device path, e.g. "\Windows"
    std::wstring destPath;   // destFolder + "\" + the source's file name
};

// One registry value the package writes.
struct PackageValue {
    HKEY root;
    std::wstring rootName; // "HKLM", "HKCU" or "HKCR"
    std::wstring keyPath;  // below the root, without a leading backslash
    std::wstring name;     // empty: the key's default value
    DWORD type;            // REG_DWORD or REG_SZ
    DWORD number;
    std::wstring text;
    bool keep; // a setting of the user's: written only when it does not exist yet
};

// A package description: an INI-like UTF-8 text file in the package folder (see
// docs/installer.md). Sources are named relative to that folder.
class PackageManifest {
public:
    // Reads and checks the file; false with a message naming the file and line on error.
    bool Load(const std::wstring& path, std::wstring& error);
    // The same from text; folder is where the sources are looked up.
    bool Parse(const std::wstring& text, const std::wstring& folder, const std::wstring& origin,
               std::wstring& error);

    const std::wstring& Name() const { return name; }
    const std::wstring& InstallDir() const { return installDir; }
    // Full host path of the setup library, or empty when the package has none.
    const std::wstring& SetupDll() const { return setupDll; }
    const std::vector<PackageFile>& Files() const { return files; }
    const std::vector<PackageValue>& Values() const { return values; }

    // Maps "HKLM" and friends to the root key; null for an unknown name.
    static HKEY RootFromName(const std::wstring& rootName);

private:
    bool ParsePackageLine(const std::wstring& key, const std::wstring& value, std::wstring& what);
    bool ParseFileLine(const std::wstring& key, const std::wstring& value, std::wstring& what);
    bool ParseRegistryLine(const std::wstring& line, std::wstring& what);

    std::wstring folder;
    std::wstring name;
    std::wstring installDir;
    std::wstring setupDll;
    std::vector<PackageFile> files;
    std::vector<PackageValue> values;
};
