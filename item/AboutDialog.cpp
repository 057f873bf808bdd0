#include "AboutDialog.h"

#include "resource.h"

namespace {

// VS_VERSIONINFO starts with its length, value length and type, then its wide key.
const size_t VersionHeaderBytes = 3 * sizeof(WORD);

} // namespace

std::wstring GetVersionText(HINSTANCE instance) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(1), RT_VERSION);
    if (!found)
        return std::wstring();
    HGLOBAL loaded = LoadResource(instance, found);
    const BYTE* block = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    size_t size = SizeofResource(instance, found);
    if (!block)
        return std::wstring();

    // Skip the key, a zero-terminated wide string, without running past the resource.
    size_t offset = VersionHeaderBytes;
    for (;;) {
        if (offset + sizeof(WCHAR) > size)
            return std::wstring();
        WCHAR c;
        memcpy(&c, block + offset, sizeof(c));
        offset += sizeof(c);
        if (c == 0)
            break;
    }
    offset = (offset + 3) & ~static_cast<size_t>(3);
    if (offset + sizeof(VS_FIXEDFILEINFO) > size)
        return std::wstring();
    VS_FIXEDFILEINFO info;
    memcpy(&info, block + offset, sizeof(info));

    // The build number is the high word of the least significant double word; printing that
    // double word whole would show 1.2.3.4 as 1.2.196612.
    wchar_t text[40];
    wsprintfW(text, L"%u.%u.%u\n", HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
              HIWORD(info.dwFileVersionLS));
    return text;
}

AboutDialog::AboutDialog(HINSTANCE instance, CTodayWindow* item, bool fullScreen)
    : CTodayOptionsDialog(instance, item, fullScreen) {}

AboutDialog::~AboutDialog() = default;

BOOL AboutDialog::OnInitDialog(LPARAM lParam) {
    SetItemText(IDC_ABOUT_VERSION, L"Kestrel verze: " + GetVersionText(instance));
    return CTodayOptionsDialog::OnInitDialog(lParam);
}
