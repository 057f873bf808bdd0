#include "InstallRecord.h"

namespace {

// A record is a few hundred names; a larger value is not one of ours.
const DWORD kMaxValueBytes = 256 * 1024;

bool ReadText(HKEY key, const wchar_t* name, DWORD wantType, std::vector<wchar_t>& chars) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != wantType || size > kMaxValueBytes) {
        return false;
    }
    // Two spare terminators: stored data need not end with them.
    chars.assign(size / sizeof(wchar_t) + 2, L'\0');
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(chars.data()),
                            &size) == ERROR_SUCCESS;
}

std::wstring ReadString(HKEY key, const wchar_t* name) {
    std::vector<wchar_t> chars;
    return ReadText(key, name, REG_SZ, chars) ? std::wstring(chars.data()) : std::wstring();
}

std::vector<std::wstring> ReadList(HKEY key, const wchar_t* name) {
    std::vector<std::wstring> list;
    std::vector<wchar_t> chars;
    if (!ReadText(key, name, REG_MULTI_SZ, chars)) {
        return list;
    }
    for (const wchar_t* p = chars.data(); *p; p += wcslen(p) + 1) {
        list.push_back(p);
    }
    return list;
}

bool WriteString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool WriteList(HKEY key, const wchar_t* name, const std::vector<std::wstring>& list) {
    std::wstring data;
    for (const std::wstring& item : list) {
        data += item;
        data += L'\0';
    }
    data += L'\0';
    return RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace

const wchar_t* const InstallRecord::kValueNames[] = {L"Instl",   L"InstlDir", L"SetupDll", L"Files",
                                                     L"Folders", L"Values",   L"Keys"};
const int InstallRecord::kValueCount = 7;

std::wstring InstallRecord::KeyPath(const std::wstring& packageName) {
    return L"Software\\Apps\\" + packageName;
}

bool InstallRecord::Load(const std::wstring& packageName) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath(packageName).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD installed = 0, size = sizeof(installed), type = 0;
    bool ok = RegQueryValueExW(key, L"Instl", nullptr, &type, reinterpret_cast<BYTE*>(&installed),
                               &size) == ERROR_SUCCESS &&
              type == REG_DWORD && installed == 1;
    if (ok) {
        name = packageName;
        installDir = ReadString(key, L"InstlDir");
        setupDll = ReadString(key, L"SetupDll");
        files = ReadList(key, L"Files");
        folders = ReadList(key, L"Folders");
        values = ReadList(key, L"Values");
        keys = ReadList(key, L"Keys");
    }
    RegCloseKey(key);
    return ok;
}

bool InstallRecord::Save() const {
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    DWORD installed = 1;
    bool ok = RegSetValueExW(key, L"Instl", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&installed),
                             sizeof(installed)) == ERROR_SUCCESS &&
              WriteString(key, L"InstlDir", installDir) &&
              WriteString(key, L"SetupDll", setupDll) && WriteList(key, L"Files", files) &&
              WriteList(key, L"Folders", folders) && WriteList(key, L"Values", values) &&
              WriteList(key, L"Keys", keys);
    RegCloseKey(key);
    return ok;
}

bool InstallRecord::Remove() const {
    LONG result = RegDeleteTreeW(HKEY_LOCAL_MACHINE, KeyPath(name).c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}
