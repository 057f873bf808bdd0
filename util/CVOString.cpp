#include "CVOString.h"

#include <cwchar>

CVOString::CVOString(const wchar_t* text) {
    Assign(text);
}

CVOString::CVOString(const CVOString& other) {
    Assign(other.buffer);
}

CVOString& CVOString::operator=(const CVOString& other) {
    if (this != &other) {
        Assign(other.buffer);
    }
    return *this;
}

CVOString::~CVOString() {
    delete[] buffer;
}

// Replaces the buffer by a zero-filled one of newCapacity characters, keeping the content.
void CVOString::Reallocate(DWORD newCapacity) {
    wchar_t* fresh = new wchar_t[newCapacity]();
    if (buffer) {
        DWORD keep = capacity < newCapacity ? capacity : newCapacity;
        wmemcpy(fresh, buffer, keep);
        fresh[newCapacity - 1] = 0;
        delete[] buffer;
    }
    buffer = fresh;
    capacity = newCapacity;
}

void CVOString::Assign(const wchar_t* text) {
    if (!text) {
        delete[] buffer;
        buffer = nullptr;
        length = 0;
        capacity = 0;
        return;
    }
    if (text == buffer) {
        length = static_cast<DWORD>(wcslen(text));
        return;
    }
    DWORD newLength = static_cast<DWORD>(wcslen(text));
    if (!buffer || capacity < newLength + 1) {
        Reallocate(newLength + 16);
    }
    wmemcpy(buffer, text, newLength + 1);
    length = newLength;
}

void CVOString::Assign(const CVOString& other) {
    Assign(other.buffer);
}

wchar_t* CVOString::GetBuffer(DWORD n) {
    if (!buffer || capacity < n + 2) {
        Reallocate(n + 17);
    }
    return buffer;
}

DWORD CVOString::ReleaseBuffer(DWORD n) {
    if (!buffer || capacity == 0) {
        return 0;
    }
    if (n == static_cast<DWORD>(-1)) {
        // The buffer always ends in a zero, so this stays inside it.
        length = static_cast<DWORD>(wcsnlen(buffer, capacity));
        if (length >= capacity) {
            length = capacity - 1;
            buffer[length] = 0;
        }
        return length;
    }
    length = n < capacity ? n : capacity - 1;
    buffer[length] = 0;
    return length;
}

int CVOString::EqualsNoCase(const wchar_t* text) const {
    if (!buffer && !text) {
        return 1;
    }
    return _wcsicmp(text ? text : L"", buffer ? buffer : L"") == 0 ? 1 : 0;
}
