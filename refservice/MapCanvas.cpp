#include "MapCanvas.h"

#include <algorithm>

namespace {

COLORREF ToColorRef(uint32_t colour) {
    return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

} // namespace

MapCanvas::MapCanvas(int width, int height, int scale)
    : width(width), height(height), scale(scale), raster(width, height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (!bitmap) {
        return;
    }
    oldBitmap = SelectObject(dc, bitmap);
    pixels = static_cast<uint32_t*>(bits);
    // The Today screen's font: Tahoma, 8.5 points at 96 dpi for labels, smaller for notes.
    const int sizes[FontKinds] = {11, 11, 9};
    const int weights[FontKinds] = {FW_NORMAL, FW_BOLD, FW_NORMAL};
    for (int i = 0; i < FontKinds; ++i) {
        fonts[i] = CreateFontW(-sizes[i] * scale, 0, 0, 0, weights[i], FALSE, FALSE, FALSE,
                               DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma");
    }
    oldFont = SelectObject(dc, fonts[Label]);
    SetBkMode(dc, TRANSPARENT);
}

MapCanvas::~MapCanvas() {
    if (oldFont) {
        SelectObject(dc, oldFont);
    }
    for (HFONT font : fonts) {
        if (font) {
            DeleteObject(font);
        }
    }
    if (oldBitmap) {
        SelectObject(dc, oldBitmap);
    }
    if (bitmap) {
        DeleteObject(bitmap);
    }
    if (dc) {
        DeleteDC(dc);
    }
}

const uint32_t* MapCanvas::Pixels() const {
    GdiFlush();
    return pixels;
}

void MapCanvas::Clear(uint32_t colour) {
    GdiFlush();
    std::fill(pixels, pixels + size_t(width) * height, colour & 0xFFFFFF);
}

void MapCanvas::Paint(uint32_t colour, double opacity) {
    // Text GDI has drawn must be in the bits before the raster blends over them.
    GdiFlush();
    raster.Paint(pixels, colour, opacity);
}

SIZE MapCanvas::Measure(const std::wstring& text, FontKind font) {
    SIZE size = {0, 0};
    SelectObject(dc, fonts[font]);
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    return size;
}

void MapCanvas::Text(const std::wstring& text, int x, int y, FontKind font, uint32_t colour,
                     uint32_t haloColour) {
    SelectObject(dc, fonts[font]);
    SetTextColor(dc, ToColorRef(haloColour));
    // Four offsets make the halo: each text drawn is a good part of a map's time under Wine.
    const POINT offsets[4] = {{-scale, 0}, {scale, 0}, {0, -scale}, {0, scale}};
    for (const POINT& offset : offsets) {
        TextOutW(dc, x + offset.x, y + offset.y, text.c_str(), int(text.size()));
    }
    SetTextColor(dc, ToColorRef(colour));
    TextOutW(dc, x, y, text.c_str(), int(text.size()));
}

int MapCanvas::WrappedText(const std::wstring& text, RECT rect, FontKind font, uint32_t colour,
                           bool calculate) {
    SelectObject(dc, fonts[font]);
    SetTextColor(dc, ToColorRef(colour));
    const UINT format = DT_WORDBREAK | DT_RIGHT | DT_NOPREFIX | (calculate ? DT_CALCRECT : 0u);
    return DrawTextW(dc, text.c_str(), int(text.size()), &rect, format);
}
