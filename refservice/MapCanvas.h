#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "CoverageRaster.h"

// One picture being drawn: a 32-bit DIB section that the coverage raster paints into and GDI
// writes text on, in the Today screen's font (Tahoma, anti-aliased). Owns its DC, bitmap and
// fonts.
class MapCanvas {
public:
    enum FontKind { Label, BoldLabel, Small, FontKinds };

    // scale: pixels per point; the fonts are sized by it.
    MapCanvas(int width, int height, int scale);
    ~MapCanvas();
    MapCanvas(const MapCanvas&) = delete;
    MapCanvas& operator=(const MapCanvas&) = delete;

    bool IsValid() const { return pixels != nullptr; }
    const uint32_t* Pixels() const;

    void Clear(uint32_t colour);
    CoverageRaster& Raster() { return raster; }
    // Blends what the raster covers since the last call in colour.
    void Paint(uint32_t colour, double opacity = 1.0);

    SIZE Measure(const std::wstring& text, FontKind font);
    // Text with its top left at (x, y), on a halo of haloColour one pixel wide per point.
    void Text(const std::wstring& text, int x, int y, FontKind font, uint32_t colour,
              uint32_t haloColour);
    // Word-wrapped text right-aligned in rect; with calculate only its height is found.
    int WrappedText(const std::wstring& text, RECT rect, FontKind font, uint32_t colour,
                    bool calculate);

private:
    int width, height, scale;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    HGDIOBJ oldFont = nullptr;
    uint32_t* pixels = nullptr;
    HFONT fonts[FontKinds] = {};
    CoverageRaster raster;
};
