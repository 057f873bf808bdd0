#include "TextRecorder.h"

#include "ImportPatch.h"

namespace {

std::vector<std::wstring>* recording = nullptr;

// Taken from the system libraries themselves, not through this module's imports, which may
// be the ones redirected (a test that records its own drawing).
template <class F> F Real(const wchar_t* library, const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(library), name)));
}

const auto realDrawTextW = Real<decltype(&DrawTextW)>(L"user32.dll", "DrawTextW");
const auto realDrawTextExW = Real<decltype(&DrawTextExW)>(L"user32.dll", "DrawTextExW");
const auto realExtTextOutW = Real<decltype(&ExtTextOutW)>(L"gdi32.dll", "ExtTextOutW");
const auto realTextOutW = Real<decltype(&TextOutW)>(L"gdi32.dll", "TextOutW");

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

const ImportRedirect redirects[] = {
    {"DrawTextW", reinterpret_cast<void*>(RecordDrawTextW)},
    {"DrawTextExW", reinterpret_cast<void*>(RecordDrawTextExW)},
    {"ExtTextOutW", reinterpret_cast<void*>(RecordExtTextOutW)},
    {"TextOutW", reinterpret_cast<void*>(RecordTextOutW)},
};

} // namespace

int TextRecorder::Patch(HMODULE module) {
    return RedirectImports(module, redirects, sizeof(redirects) / sizeof(redirects[0]));
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
