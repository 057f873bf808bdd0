#pragma once

#include <windows.h>

#include "CVOString.h"

// GetDWORDValue default that is returned but never written back.
const DWORD NoDefaultDWORD = 0xDEF0;

// One open registry key with getters that fall back to, and store, a default.
// Nothing here throws: failures are 0 results or the caller's default.
class CVORegistry {
public:
    CVORegistry(HKEY root, const wchar_t* subKey, BOOL create);
    virtual ~CVORegistry();

    CVORegistry(const CVORegistry&) = delete;
    CVORegistry& operator=(const CVORegistry&) = delete;

    int Close();

    DWORD GetDWORDValue(const wchar_t* name, DWORD defaultValue);
    int SetDWORDValue(const wchar_t* name, DWORD value);
    CVOString GetStringValue(const wchar_t* name, const wchar_t* defaultValue);
    int SetStringValue(const wchar_t* name, const wchar_t* text);

    int EnumFirstSubKey(CVOString& name);
    int EnumNextSubKey(CVOString& name);
    int SubKeyExists(const wchar_t* name);
    int DeleteSubKey(const wchar_t* name);
    static int DeleteKeyTree(HKEY parent, const wchar_t* name);

    HKEY GetKey() const { return key; }
    DWORD GetDisposition() const { return disposition; }

private:
    int ReadSubKeyName(CVOString& name);

    HKEY key = nullptr;
    DWORD disposition = 0;
    DWORD enumIndex = 0;
    CVOString scratch;
};
