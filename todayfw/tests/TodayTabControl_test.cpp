#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "TestItem.h"
#include "TestShell.h"
#include "TodayTabControl.h"

namespace {

class CountingPage : public TabPage {
public:
    using TabPage::TabPage;
    void Paint(HDC, SIZE strip, RECT) override {
        ++paints;
        lastStrip = strip;
    }
    void OnSelectionChanged() override { ++selectionChanges; }
    void OnOwnerDestroyed() override { ++ownerDestroyed; }

    int paints = 0;
    int selectionChanges = 0;
    int ownerDestroyed = 0;
    SIZE lastStrip = {0, 0};
};

class ThreeTabs : public TodayTabControl {
public:
    explicit ThreeTabs(CTodayWindow* owner)
        : TodayTabControl(owner), first(1, L"Jedna", this), second(2, L"Dva", this),
          third(3, L"Tři", this) {
        GetTabs().push_back(&first);
        GetTabs().push_back(&second);
        GetTabs().push_back(&third);
        SelectPage(&first);
    }
    CountingPage first, second, third;
};

// A white 240 x 70 bitmap to paint into.
class Canvas {
public:
    Canvas() {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, 240, 70);
        ReleaseDC(nullptr, screen);
        saved = SelectObject(dc, bitmap);
        Clear();
    }
    ~Canvas() {
        SelectObject(dc, saved);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Clear() {
        RECT all = {0, 0, 240, 70};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    HDC dc;

private:
    HBITMAP bitmap;
    HGDIOBJ saved;
};

class TabControl : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        shell = new TestShell;
        owner = new TestItem;
        TODAYLISTITEM item = {};
        item.fEnabled = TRUE;
        owner->Create(&item, shell->window, WS_CHILD);
    }
    static void TearDownTestSuite() {
        delete owner;
        delete shell;
    }
    void PaintAll(TodayTabControl& control) {
        canvas.Clear();
        control.Paint(canvas.dc, area);
    }
    static inline TestShell* shell = nullptr;
    static inline TestItem* owner = nullptr;
    Canvas canvas;
    RECT area = {0, 0, 240, 70};
};

TEST_F(TabControl, ThreeTabsIn240Pixels) {
    ThreeTabs tabs(owner);
    PaintAll(tabs);
    const int lefts[] = {17, 93, 169};
    CountingPage* pages[] = {&tabs.first, &tabs.second, &tabs.third};
    RECT first = tabs.first.GetTabRect();
    int h = first.bottom;
    EXPECT_GT(h, 5);
    for (int i = 0; i < 3; ++i) {
        RECT tab = pages[i]->GetTabRect();
        EXPECT_EQ(tab.left, lefts[i]);
        EXPECT_EQ(tab.right - tab.left, 74);
        EXPECT_EQ(tab.top, 0);
        EXPECT_EQ(tab.bottom, h);
    }
    // Only the current page paints, below the strip.
    EXPECT_EQ(tabs.first.paints, 1);
    EXPECT_EQ(tabs.second.paints, 0);
    EXPECT_EQ(tabs.first.lastStrip.cx, 240);
    EXPECT_EQ(tabs.first.lastStrip.cy, h + 1);

    // Left border of the strip, the right border of each tab, and a bottom line under every
    // tab except the current one.
    EXPECT_EQ(GetPixel(canvas.dc, 16, 1), TestShell::Text);
    EXPECT_EQ(GetPixel(canvas.dc, 92, 1), TestShell::Text);
    EXPECT_EQ(GetPixel(canvas.dc, 168, 1), TestShell::Text);
    EXPECT_EQ(GetPixel(canvas.dc, 20, h + 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(canvas.dc, 100, h + 1), TestShell::Text);
    EXPECT_EQ(GetPixel(canvas.dc, 180, h + 1), TestShell::Text);

    tabs.SelectPage(&tabs.second);
    PaintAll(tabs);
    EXPECT_EQ(GetPixel(canvas.dc, 20, h + 1), TestShell::Text);
    EXPECT_EQ(GetPixel(canvas.dc, 100, h + 1), RGB(255, 255, 255));
}

TEST_F(TabControl, FocusMovesWithinTheStripAndStopsAtItsEnds) {
    ThreeTabs tabs(owner);
    EXPECT_FALSE(tabs.HasFocus());
    EXPECT_FALSE(tabs.MoveLeft());
    EXPECT_FALSE(tabs.MoveRight());

    EXPECT_TRUE(tabs.FocusFirstTab());
    EXPECT_TRUE(tabs.IsFocusOnFirstTab());
    EXPECT_FALSE(tabs.MoveLeft());
    EXPECT_EQ(tabs.GetFocusIndex(), 0);
    EXPECT_TRUE(tabs.MoveRight());
    EXPECT_TRUE(tabs.MoveRight());
    EXPECT_TRUE(tabs.IsFocusOnLastTab());
    EXPECT_FALSE(tabs.MoveRight());
    EXPECT_EQ(tabs.GetFocusIndex(), 2);
    EXPECT_FALSE(tabs.MoveUp());
    EXPECT_FALSE(tabs.MoveDown());

    // Inside the page the strip does not move.
    EXPECT_TRUE(tabs.EnterPage());
    EXPECT_TRUE(tabs.HasFocus());
    EXPECT_FALSE(tabs.MoveLeft());
    EXPECT_FALSE(tabs.IsFocusOnLastTab());
    EXPECT_FALSE(tabs.ActivateFocusedTab());
    EXPECT_TRUE(tabs.LeavePage());
    EXPECT_TRUE(tabs.MoveLeft());
    EXPECT_EQ(tabs.GetFocusIndex(), 1);

    EXPECT_TRUE(tabs.ResetFocus());
    EXPECT_FALSE(tabs.HasFocus());
    EXPECT_TRUE(tabs.FocusLastTab());
    EXPECT_EQ(tabs.GetFocusIndex(), 2);
}

TEST_F(TabControl, FocusedTabIsHighlightedUntilReset) {
    ThreeTabs tabs(owner);
    tabs.FocusFirstTab();
    tabs.MoveRight();
    PaintAll(tabs);
    EXPECT_EQ(GetPixel(canvas.dc, 94, 0), TestShell::Highlight);
    EXPECT_EQ(GetPixel(canvas.dc, 18, 0), RGB(255, 255, 255));
    tabs.ResetFocus();
    PaintAll(tabs);
    EXPECT_EQ(GetPixel(canvas.dc, 94, 0), RGB(255, 255, 255));
}

TEST_F(TabControl, ActivatingTheFocusedTabSelectsItsPage) {
    ThreeTabs tabs(owner);
    EXPECT_FALSE(tabs.ActivateFocusedTab());
    tabs.FocusFirstTab();
    // Already current.
    EXPECT_FALSE(tabs.ActivateFocusedTab());
    tabs.MoveRight();
    tabs.MoveRight();
    int before[] = {tabs.first.selectionChanges, tabs.second.selectionChanges,
                    tabs.third.selectionChanges};
    EXPECT_TRUE(tabs.ActivateFocusedTab());
    EXPECT_EQ(tabs.GetCurrentPage(), &tabs.third);
    EXPECT_EQ(tabs.first.selectionChanges, before[0] + 1);
    EXPECT_EQ(tabs.second.selectionChanges, before[1] + 1);
    EXPECT_EQ(tabs.third.selectionChanges, before[2] + 1);
}

TEST_F(TabControl, ClickSelectsAnotherTabOnly) {
    ThreeTabs tabs(owner);
    PaintAll(tabs);
    RECT current = tabs.first.GetTabRect();
    EXPECT_FALSE(tabs.OnClick(current.left + 5, 2));
    EXPECT_FALSE(tabs.OnClick(120, 50));
    EXPECT_EQ(tabs.GetCurrentPage(), &tabs.first);
    EXPECT_TRUE(tabs.OnClick(200, 2));
    EXPECT_EQ(tabs.GetCurrentPage(), &tabs.third);
    EXPECT_EQ(tabs.third.selectionChanges, 2);
}

TEST_F(TabControl, ForeignPageIsRejected) {
    ThreeTabs tabs(owner);
    ThreeTabs other(owner);
    try {
        tabs.SelectPage(&other.second);
        FAIL() << "no exception";
    } catch (const std::domain_error& error) {
        EXPECT_EQ(std::string(error.what()), "TabPage not found in Tabs collection");
    }
    EXPECT_EQ(tabs.GetCurrentPage(), &tabs.first);
}

TEST_F(TabControl, TabsAreDrawnInOrderNumberOrder) {
    TodayTabControl tabs(owner);
    CountingPage second(2, L"B", &tabs);
    CountingPage first(1, L"A", &tabs);
    tabs.GetTabs().push_back(&second);
    tabs.GetTabs().push_back(&first);
    // No page selected yet: the first element is current.
    EXPECT_EQ(tabs.GetCurrentPage(), &second);
    PaintAll(tabs);
    EXPECT_EQ(first.GetTabRect().left, 17);
    EXPECT_GT(second.GetTabRect().left, first.GetTabRect().left);
    EXPECT_EQ(tabs.GetTabs()[0], &first);
    // Focus index 0 is the page with order 1.
    tabs.SelectPage(&second);
    tabs.FocusFirstTab();
    EXPECT_TRUE(tabs.ActivateFocusedTab());
    EXPECT_EQ(tabs.GetCurrentPage(), &first);
}

TEST_F(TabControl, EmptyControlDrawsNothing) {
    TodayTabControl tabs(owner);
    EXPECT_EQ(tabs.GetCurrentPage(), nullptr);
    EXPECT_FALSE(tabs.FocusFirstTab());
    EXPECT_FALSE(tabs.FocusLastTab());
    EXPECT_FALSE(tabs.CanFocusFirst());
    PaintAll(tabs);
    for (int x = 0; x < 240; x += 7)
        ASSERT_EQ(GetPixel(canvas.dc, x, 1), RGB(255, 255, 255)) << x;
    EXPECT_FALSE(tabs.OnClick(20, 2));
}

TEST_F(TabControl, OwnerDestructionReachesEveryPage) {
    ThreeTabs tabs(owner);
    tabs.NotifyOwnerDestroyed();
    EXPECT_EQ(tabs.first.ownerDestroyed, 1);
    EXPECT_EQ(tabs.second.ownerDestroyed, 1);
    EXPECT_EQ(tabs.third.ownerDestroyed, 1);
    EXPECT_EQ(tabs.second.GetOwner(), &tabs);
    EXPECT_EQ(tabs.second.GetTitle(), L"Dva");
}

} // namespace
