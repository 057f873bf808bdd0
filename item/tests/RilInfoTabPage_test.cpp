#include <gtest/gtest.h>

#include "ItemHarness.h"
#include "TextRecorder.h"

using harness::Fixture;

namespace {

const COLORREF Green = RGB(51, 255, 0);

class InfoPage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(f.CreateWindowForItem());
        RECT client;
        GetClientRect(f.item->GetWindow(), &client);
        ASSERT_EQ(240, client.right);
        f.item->GetMailbox().OnCellInfo(CellInfo(L"100", L"1001", L"17"));
        harness::Pump();
    }

    RilInfoTabPage& Page() { return f.item->GetTabControl().GetInfoPage(); }

    void ShowSignal(int minimum, int maximum, int current) {
        f.item->GetMailbox().OnSignalQuality(minimum, maximum, current);
        harness::Pump();
        f.item->Refresh(FALSE);
    }

    // The rightmost pure green pixel inside the bar, -1 when there is none.
    int GreenRight() {
        RECT bar = Page().GetBarRect();
        int right = -1;
        for (int y = bar.top; y < bar.bottom; ++y)
            for (int x = bar.left; x < bar.right + 2; ++x)
                if (f.Pixel(x, y) == Green && x > right)
                    right = x;
        return right;
    }

    Fixture<> f;
};

} // namespace

TEST_F(InfoPage, BarSpansTheAreaLessItsMargins) {
    ShowSignal(-113, -51, -80);
    RECT bar = Page().GetBarRect();
    EXPECT_EQ(26, bar.left);
    EXPECT_EQ(230, bar.right);
    EXPECT_EQ(12, bar.bottom - bar.top);
    EXPECT_EQ(RGB(0, 0, 0), f.Pixel(229, bar.top));
    EXPECT_NE(RGB(0, 0, 0), f.Pixel(230, bar.top));
}

TEST_F(InfoPage, SignalFillsThreePixelsPerUnitAboveTheMinimum) {
    ShowSignal(-113, -51, -80);
    // Value 33, step 3: green from 26 up to 124 inclusive, 99 pixels.
    EXPECT_EQ(26 + 99 - 1, GreenRight());
    RECT fill = Page().GetFillRect();
    EXPECT_EQ(99, fill.right - fill.left);
    EXPECT_EQ(Green, f.Pixel(26, Page().GetBarRect().top));
}

TEST_F(InfoPage, ValueEqualToTheRangeFillsTheWholeBar) {
    ShowSignal(0, 31, 31);
    EXPECT_EQ(229, GreenRight());
}

TEST_F(InfoPage, UnknownSignalShowsNoGreen) {
    for (int current : {0, 1, -1}) {
        ShowSignal(-113, -51, current);
        EXPECT_EQ(-1, GreenRight()) << current;
        RECT fill = Page().GetFillRect();
        EXPECT_TRUE(IsRectEmpty(&fill)) << current;
    }
}

TEST_F(InfoPage, MessageModeDrawsOneLineAboveTheBar) {
    ShowSignal(-113, -51, -80);
    int twoLines = Page().GetBarRect().top;
    f.item->GetMailbox().OnError(L"Nepodařilo se inicializovat knihovnu RIL");
    harness::Pump();
    f.item->Refresh(FALSE);
    int oneLine = Page().GetBarRect().top;
    EXPECT_LT(oneLine, twoLines);
    // A cell leaves message mode again.
    f.item->GetMailbox().OnCellInfo(CellInfo(L"100", L"1002", L"23"));
    harness::Pump();
    EXPECT_FALSE(Page().IsMessageMode());
    EXPECT_EQ(twoLines, Page().GetBarRect().top);
}

TEST_F(InfoPage, FirstLineHoldsThreeFieldsOfFortyCharacters) {
    const std::wstring lac(40, L'4'), cellId(40, L'7'), bcch(40, L'9');
    f.item->GetMailbox().OnCellInfo(CellInfo(lac, cellId + L"cut", bcch));
    harness::Pump();
    std::vector<std::wstring> lines;
    TextRecorder::Patch(GetModuleHandleW(nullptr));
    TextRecorder::Begin(&lines);
    RedrawWindow(f.item->GetWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    TextRecorder::End(nullptr);
    const std::wstring expected = L"\tCell Id: " + cellId + L" LAC: " + lac + L" BCCH: " + bcch;
    bool found = false;
    for (const std::wstring& line : lines)
        found =
            found || (line.size() >= expected.size() &&
                      line.compare(line.size() - expected.size(), expected.size(), expected) == 0);
    EXPECT_TRUE(found);
}
