#pragma once

#include <windows.h>

// A growable, owned, zero-terminated UTF-16 buffer. The registry wrapper hands value and
// key names through it; callers may write into GetBuffer() and fix the length afterwards.
class CVOString {
public:
    CVOString(const wchar_t* text = nullptr);
    CVOString(const CVOString& other);
    CVOString& operator=(const CVOString& other);
    virtual ~CVOString();

    void Assign(const wchar_t* text);
    void Assign(const CVOString& other);

    // A writable buffer of at least n + 2 characters; the length is left as it is.
    wchar_t* GetBuffer(DWORD n);
    // n == (DWORD)-1: the length becomes the position of the first zero character.
    DWORD ReleaseBuffer(DWORD n);

    int EqualsNoCase(const wchar_t* text) const;

    const wchar_t* GetString() const { return buffer; }
    // Never null: an empty string without a buffer reads as "".
    const wchar_t* c_str() const { return buffer ? buffer : L""; }
    DWORD GetLength() const { return length; }
    DWORD GetCapacity() const { return capacity; }

private:
    void Reallocate(DWORD newCapacity);

    wchar_t* buffer = nullptr;
    DWORD length = 0;
    DWORD capacity = 0;
};
