#include "CellDetailTabPage.h"

#include "CTodayWindow.h"
#include "TodayTabControl.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const COLORREF kTextColor = RGB(200, 0, 0);

// An item window object with the Today fonts and a text colour of its own; the page paints
// with them whether or not the window exists.
class OwnerWindow : public CTodayWindow {
public:
    OwnerWindow() {
        InitColorsAndFonts();
        textColor = kTextColor;
    }
};

// A white 32-bit memory DC, transparent text background as the tab control leaves it.
class Canvas {
public:
    Canvas(int width, int height) : width(width), height(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits),
                                  nullptr, 0);
        previousBitmap = SelectObject(dc, bitmap);
        for (int i = 0; i < width * height; ++i) {
            bits[i] = 0xFFFFFF;
        }
        SetBkMode(dc, TRANSPARENT);
    }
    ~Canvas() {
        SelectObject(dc, previousBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC Dc() const { return dc; }
    std::vector<DWORD> Pixels() {
        GdiFlush();
        return std::vector<DWORD>(bits, bits + width * height);
    }
    bool IsInk(int x, int y) const { return (bits[y * width + x] & 0xFFFFFF) != 0xFFFFFF; }

    const int width;
    const int height;

private:
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previousBitmap;
    DWORD* bits = nullptr;
};

class CellDetailTabPageTest : public ::testing::Test {
protected:
    // The pixels the page paints into area below a strip of height strip.cy ...
    std::vector<DWORD> Painted(RECT area) {
        Canvas canvas(kWidth, kHeight);
        HGDIOBJ font = GetCurrentObject(canvas.Dc(), OBJ_FONT);
        page.Paint(canvas.Dc(), strip, area);
        EXPECT_EQ(font, GetCurrentObject(canvas.Dc(), OBJ_FONT));
        return canvas.Pixels();
    }
    // ... and those of text drawn by hand, in the owner's colour and font, where the page
    // draws it.
    std::vector<DWORD> Expected(const wchar_t* text, RECT area) {
        Canvas canvas(kWidth, kHeight);
        SetTextColor(canvas.Dc(), kTextColor);
        HGDIOBJ font = SelectObject(canvas.Dc(), window.GetNormalFont());
        RECT rect = {26, area.top + strip.cy + 1, area.right - 10, area.bottom};
        DrawTextW(canvas.Dc(), text, -1, &rect, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_EXPANDTABS);
        SelectObject(canvas.Dc(), font);
        return canvas.Pixels();
    }
    void ExpectPaints(const wchar_t* text) {
        EXPECT_EQ(text, page.ComposeText());
        for (RECT area : {RECT{0, 0, 240, 80}, RECT{8, 12, 200, 90}}) {
            EXPECT_TRUE(Painted(area) == Expected(text, area)) << area.left;
        }
    }

    static const int kWidth = 240;
    static const int kHeight = 120;
    OwnerWindow window;
    TodayTabControl control{&window};
    CellDetailTabPage page{2, L"Podrobnosti", &control};
    SIZE strip = {240, 16};
};

TEST_F(CellDetailTabPageTest, FreshOrResetPageShowsThatNoDetailsAreAvailable) {
    EXPECT_EQ(L"Podrobnosti", page.GetTitle());
    EXPECT_EQ(2, page.GetOrder());
    ExpectPaints(L"Detaily nejsou dostupné!");

    page.SetBcch(L"55");
    page.Reset();
    ExpectPaints(L"Detaily nejsou dostupné!");
    EXPECT_EQ(L"", page.GetBcch());
}

TEST_F(CellDetailTabPageTest, StatusOfAFailedLookupIsShownAlone) {
    page.ShowRecord(BtsRecord{{kBtsStatusKey, L"Data nenalezena"}});
    ExpectPaints(L"Data nenalezena");
}

TEST_F(CellDetailTabPageTest, FoundRecordShowsItsFieldsWithLabelsOnTwoLines) {
    page.ShowRecord(BtsRecord{{1, L"x"},
                              {2, L"y"},
                              {3, L"100"},
                              {4, L"55"},
                              {5, L"A"},
                              {6, L"B"},
                              {7, L"C"},
                              {8, L"49.1"},
                              {9, L"16.2"},
                              {11, L"N/A"}});
    ExpectPaints(L"A  BCCH: 55  Okres: B\r\nLAT: 49.1  LON: 16.2  C");
    EXPECT_EQ(L"", page.GetStatusText());

    // A status hides the fields; an empty status shows them again.
    page.SetStatusText(L"N/A");
    ExpectPaints(L"N/A");
    page.SetStatusText(L"");
    ExpectPaints(L"A  BCCH: 55  Okres: B\r\nLAT: 49.1  LON: 16.2  C");
}

TEST_F(CellDetailTabPageTest, OneFieldShowsEveryLabel) {
    page.Reset();
    page.SetLatitude(L"49.1");
    ExpectPaints(L"  BCCH:   Okres: \r\nLAT: 49.1  LON:   ");
}

TEST_F(CellDetailTabPageTest, LongLeadingTextWrapsInsideTheRectangleAndIsCutAtTheBottom) {
    page.SetLeadingText(L"Vysílač na střeše obchodního domu u hlavního nádraží, "
                        L"anténa směrem k náměstí a k nemocnici");
    page.SetLatitude(L"49.1");

    HDC screen = GetDC(nullptr);
    HGDIOBJ font = SelectObject(screen, window.GetNormalFont());
    TEXTMETRICW metrics;
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, font);
    ReleaseDC(nullptr, screen);
    const int lineHeight = metrics.tmHeight;
    const int top = strip.cy + 1;

    // Tall enough for everything: the second line of the composed text moves down.
    Canvas tall(kWidth, kHeight);
    const RECT area = {0, 0, 240, kHeight};
    page.Paint(tall.Dc(), strip, area);
    EXPECT_TRUE(tall.Pixels() == Expected(page.ComposeText().c_str(), area));
    int lowestInk = 0;
    for (int y = 0; y < tall.height; ++y) {
        for (int x = 0; x < tall.width; ++x) {
            if (tall.IsInk(x, y)) {
                lowestInk = y;
                EXPECT_TRUE(x >= 26 && x < 230) << x << "," << y;
            }
        }
    }
    EXPECT_GE(lowestInk, top + 2 * lineHeight);

    // Two lines high: nothing is drawn below the area.
    Canvas cut(kWidth, kHeight);
    page.Paint(cut.Dc(), strip, RECT{0, 0, 240, top + 2 * lineHeight});
    for (int y = top + 2 * lineHeight; y < cut.height; ++y) {
        for (int x = 0; x < cut.width; ++x) {
            ASSERT_FALSE(cut.IsInk(x, y)) << x << "," << y;
        }
    }
}

} // namespace
