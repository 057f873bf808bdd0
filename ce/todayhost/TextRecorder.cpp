#include "TextRecorder.h"

#include <cstring>

namespace {

std::vector<std::wstring>* recording = nullptr;

decltype(&DrawTextW) realDrawTextW = DrawTextW;
decltype(&DrawTextExW) realDrawTextExW = DrawTextExW;
decltype(&ExtTextOutW) realExtTextOutW = ExtTextOutW;
decltype(&TextOutW) realTextOutW = TextOutW;

void ToDevice(HDC dc, RECT& rect) {
    LPtoDP(dc, reinterpret_cast<POINT*>(&rect), 2);
}

void Note(HDC dc, RECT rect, const wchar_t* text, int length) {
    if (!recording || !text)
        return;
    if (length < 0)
        length = lstrlenW(text);
    ToDevice(dc, rect);
    recording->push_back(TextRecorder::FormatLine(rect, text, length));
}

// The rectangle a line of text at (x, y) covers under the DC's text alignment.
RECT TextBox(HDC dc, int x, int y, const wchar_t* text, int length, UINT options) {
    if (length < 0)
        length = lstrlenW(text);
    SIZE size = {0, 0};
    if (options & ETO_GLYPH_INDEX)
        GetTextExtentPointI(dc, reinterpret_cast<LPWORD>(const_cast<wchar_t*>(text)), length,
                            &size);
    else
        GetTextExtentPoint32W(dc, text, length, &size);
    UINT align = GetTextAlign(dc);
    if (align & TA_UPDATECP) {
        POINT current;
        GetCurrentPositionEx(dc, &current);
        x = current.x;
        y = current.y;
    }
    RECT box;
    if ((align & TA_CENTER) == TA_CENTER)
        box.left = x - size.cx / 2;
    else if (align & TA_RIGHT)
        box.left = x - size.cx;
    else
        box.left = x;
    if ((align & TA_BASELINE) == TA_BASELINE) {
        TEXTMETRICW metrics;
        GetTextMetricsW(dc, &metrics);
        box.top = y - metrics.tmAscent;
    } else if (align & TA_BOTTOM) {
        box.top = y - size.cy;
    } else {
        box.top = y;
    }
    box.right = box.left + size.cx;
    box.bottom = box.top + size.cy;
    return box;
}

int WINAPI RecordDrawTextW(HDC dc, LPCWSTR text, int length, LPRECT rect, UINT format) {
    if (rect && !(format & DT_CALCRECT))
        Note(dc, *rect, text, length);
    return realDrawTextW(dc, text, length, rect, format);
}

int WINAPI RecordDrawTextExW(HDC dc, LPWSTR text, int length, LPRECT rect, UINT format,
                             LPDRAWTEXTPARAMS params) {
    if (rect && !(format & DT_CALCRECT))
        Note(dc, *rect, text, length);
    return realDrawTextExW(dc, text, length, rect, format, params);
}

BOOL WINAPI RecordExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* clip, LPCWSTR text,
                              UINT length, const INT* dx) {
    if (text && length > 0 && recording) {
        RECT box = TextBox(dc, x, y, text, static_cast<int>(length), options);
        if (!(options & ETO_GLYPH_INDEX))
            Note(dc, box, text, static_cast<int>(length));
    }
    return realExtTextOutW(dc, x, y, options, clip, text, length, dx);
}

BOOL WINAPI RecordTextOutW(HDC dc, int x, int y, LPCWSTR text, int length) {
    if (text && length > 0 && recording)
        Note(dc, TextBox(dc, x, y, text, length, 0), text, length);
    return realTextOutW(dc, x, y, text, length);
}

struct Redirect {
    const char* name;
    void* recorder;
};

const Redirect redirects[] = {
    {"DrawTextW", reinterpret_cast<void*>(RecordDrawTextW)},
    {"DrawTextExW", reinterpret_cast<void*>(RecordDrawTextExW)},
    {"ExtTextOutW", reinterpret_cast<void*>(RecordExtTextOutW)},
    {"TextOutW", reinterpret_cast<void*>(RecordTextOutW)},
};

} // namespace

int TextRecorder::Patch(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE)
        return 0;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress)
        return 0;
    int patched = 0;
    auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; descriptor->Name; ++descriptor) {
        if (!descriptor->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const Redirect& redirect : redirects) {
                if (strcmp(reinterpret_cast<const char*>(byName->Name), redirect.name) != 0)
                    continue;
                DWORD protection;
                if (VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE,
                                   &protection)) {
                    slots->u1.Function = reinterpret_cast<ULONG_PTR>(redirect.recorder);
                    VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), protection,
                                   &protection);
                    ++patched;
                }
            }
        }
    }
    return patched;
}

void TextRecorder::Begin(std::vector<std::wstring>* lines) {
    recording = lines;
}

void TextRecorder::End(std::vector<std::wstring>* previous) {
    recording = previous;
}

std::vector<std::wstring>* TextRecorder::Current() {
    return recording;
}

std::wstring TextRecorder::FormatLine(const RECT& rect, const wchar_t* text, int length) {
    wchar_t numbers[64];
    wsprintfW(numbers, L"%d,%d,%d,%d\t", rect.left, rect.top, rect.right, rect.bottom);
    std::wstring line = numbers;
    for (int i = 0; i < length; ++i) {
        switch (text[i]) {
        case L'\r':
            line += L"\\r";
            break;
        case L'\n':
            line += L"\\n";
            break;
        case L'\t':
            line += L"\\t";
            break;
        default:
            line += text[i];
        }
    }
    return line;
}
