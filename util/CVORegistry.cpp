#include "CVORegistry.h"

#include <cwchar>

namespace {

// The device accepts "\Software\..." and desktop Windows rejects the leading backslash
// (ERROR_BAD_PATHNAME); every path the item uses is written the device's way.
const wchar_t* DeviceToDesktopPath(const wchar_t* path) {
    while (path && *path == L'\\') {
        ++path;
    }
    return path;
}

const DWORD kSubKeyNameChars = 260;

} // namespace

CVORegistry::CVORegistry(HKEY root, const wchar_t* subKey, BOOL create) {
    const wchar_t* path = DeviceToDesktopPath(subKey);
    LONG result;
    if (create) {
        result =
            RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition);
    } else {
        result = RegOpenKeyExW(root, path, 0, KEY_ALL_ACCESS, &key);
    }
    if (result != ERROR_SUCCESS) {
        key = nullptr;
    }
}

CVORegistry::~CVORegistry() {
    Close();
}

int CVORegistry::Close() {
    if (!key) {
        return 0;
    }
    RegCloseKey(key);
    key = nullptr;
    return 1;
}

DWORD CVORegistry::GetDWORDValue(const wchar_t* name, DWORD defaultValue) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    if (key && RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                &size) == ERROR_SUCCESS) {
        return value;
    }
    if (defaultValue != NoDefaultDWORD) {
        SetDWORDValue(name, defaultValue);
    }
    return defaultValue;
}

int CVORegistry::SetDWORDValue(const wchar_t* name, DWORD value) {
    if (!key) {
        return 0;
    }
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value)) == ERROR_SUCCESS
               ? 1
               : 0;
}

CVOString CVORegistry::GetStringValue(const wchar_t* name, const wchar_t* defaultValue) {
    DWORD type = REG_SZ;
    DWORD size = 0;
    LONG result =
        key ? RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) : ERROR_INVALID_HANDLE;
    if (result == ERROR_SUCCESS && type != REG_SZ) {
        return CVOString(defaultValue ? defaultValue : L"");
    }
    if (result == ERROR_SUCCESS) {
        CVOString text;
        wchar_t* buffer = text.GetBuffer(size + 1);
        // GetBuffer gave at least size + 3 characters: twice what the data needs, so the
        // data always ends in zeros inside the buffer, terminated or not.
        DWORD bytes = size;
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) ==
            ERROR_SUCCESS) {
            text.ReleaseBuffer(static_cast<DWORD>(-1));
            return text;
        }
    }
    if (!defaultValue) {
        return CVOString(L"");
    }
    SetStringValue(name, defaultValue);
    return CVOString(defaultValue);
}

int CVORegistry::SetStringValue(const wchar_t* name, const wchar_t* text) {
    if (!text || !key) {
        return 0;
    }
    DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes) ==
                   ERROR_SUCCESS
               ? 1
               : 0;
}

int CVORegistry::ReadSubKeyName(CVOString& name) {
    wchar_t* buffer = name.GetBuffer(kSubKeyNameChars);
    DWORD chars = kSubKeyNameChars;
    if (key && RegEnumKeyExW(key, enumIndex, buffer, &chars, nullptr, nullptr, nullptr, nullptr) ==
                   ERROR_SUCCESS) {
        name.ReleaseBuffer(static_cast<DWORD>(-1));
        return 1;
    }
    name.ReleaseBuffer(static_cast<DWORD>(-1));
    name.Assign(L"");
    return 0;
}

int CVORegistry::EnumFirstSubKey(CVOString& name) {
    enumIndex = 0;
    return ReadSubKeyName(name);
}

int CVORegistry::EnumNextSubKey(CVOString& name) {
    ++enumIndex;
    return ReadSubKeyName(name);
}

int CVORegistry::SubKeyExists(const wchar_t* name) {
    HKEY sub = nullptr;
    if (!key || RegOpenKeyExW(key, name, 0, KEY_ALL_ACCESS, &sub) != ERROR_SUCCESS) {
        return 0;
    }
    RegCloseKey(sub);
    return 1;
}

int CVORegistry::DeleteSubKey(const wchar_t* name) {
    return DeleteKeyTree(key, name);
}

int CVORegistry::DeleteKeyTree(HKEY parent, const wchar_t* name) {
    if (!name || !parent) {
        return 0;
    }
    const wchar_t* path = DeviceToDesktopPath(name);
    HKEY opened = nullptr;
    if (RegOpenKeyExW(parent, path, 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) {
        return 0;
    }
    wchar_t child[kSubKeyNameChars];
    for (;;) {
        DWORD chars = kSubKeyNameChars;
        // Index 0 each time: the child just deleted is gone.
        if (RegEnumKeyExW(opened, 0, child, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if (!DeleteKeyTree(opened, child)) {
            RegCloseKey(opened);
            return 0;
        }
    }
    RegCloseKey(opened);
    return RegDeleteKeyW(parent, path) == ERROR_SUCCESS ? 1 : 0;
}
