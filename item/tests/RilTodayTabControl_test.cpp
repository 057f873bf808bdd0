#include <gtest/gtest.h>

#include "ItemHarness.h"

using harness::Fixture;

namespace {

// Presses a key as the Today shell does: selection, then navigation inside the item.
LRESULT Navigate(Fixture<>& f, WPARAM key) {
    return f.Send(WM_TODAYCUSTOM_USERNAVIGATION, key);
}

bool IsHighlighted(Fixture<>& f, int x, int y) {
    return f.Pixel(x, y) == harness::HighlightColor;
}

} // namespace

TEST(RilTodayTabControl, ButtonsAnswerTapsInsideTheirFrames) {
    Fixture<> f;
    ASSERT_TRUE(f.CreateWindowForItem());
    auto tap = [&](int x, int y) {
        PostMessageW(f.item->GetWindow(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        f.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        harness::Pump();
    };
    tap(10, 25);
    EXPECT_TRUE(f.item->IsMonitoring());
    EXPECT_FALSE(f.item->GetLogWriter().IsEnabled());
    // The first tap took the selection for the item.
    EXPECT_EQ(1, f.shell.tookSelection);
    tap(10, 45);
    EXPECT_TRUE(f.item->GetLogWriter().IsEnabled());
    // The frame line between the buttons belongs to neither.
    tap(10, 37);
    EXPECT_TRUE(f.item->IsMonitoring());
    EXPECT_TRUE(f.item->GetLogWriter().IsEnabled());
    tap(10, 25);
    EXPECT_FALSE(f.item->IsMonitoring());
}

TEST(RilTodayTabControl, KeyboardWalksStripButtonsAndLeaves) {
    Fixture<> f;
    ASSERT_TRUE(f.CreateWindowForItem());
    RilTodayTabControl& tabs = f.item->GetTabControl();

    // Entering from above lands on the first tab of the strip.
    EXPECT_TRUE(f.Send(WM_TODAYCUSTOM_RECEIVEDSELECTION, VK_DOWN));
    EXPECT_EQ(0, tabs.GetFocusIndex());
    EXPECT_FALSE(tabs.IsContentMode());

    EXPECT_TRUE(Navigate(f, VK_DOWN));
    EXPECT_EQ(0, tabs.GetButtonFocus());
    EXPECT_TRUE(IsHighlighted(f, 3, 21));
    EXPECT_FALSE(Navigate(f, VK_LEFT));

    EXPECT_TRUE(Navigate(f, VK_DOWN));
    EXPECT_EQ(1, tabs.GetButtonFocus());
    EXPECT_TRUE(IsHighlighted(f, 3, 39));
    EXPECT_FALSE(IsHighlighted(f, 3, 21));

    // Enter runs the focused button's command.
    f.Send(WM_TODAYCUSTOM_ACTION);
    EXPECT_TRUE(f.item->GetLogWriter().IsEnabled());

    // Down again leaves the item to the next one.
    EXPECT_FALSE(Navigate(f, VK_DOWN));
    EXPECT_EQ(-1, tabs.GetButtonFocus());
    f.Send(WM_TODAYCUSTOM_LOSTSELECTION);
    EXPECT_FALSE(tabs.HasFocus());

    // From below: logging button, monitoring button, last tab of the strip, previous item.
    EXPECT_TRUE(f.Send(WM_TODAYCUSTOM_RECEIVEDSELECTION, VK_UP));
    EXPECT_EQ(1, tabs.GetButtonFocus());
    EXPECT_TRUE(Navigate(f, VK_UP));
    EXPECT_EQ(0, tabs.GetButtonFocus());
    f.Send(WM_TODAYCUSTOM_ACTION);
    EXPECT_TRUE(f.item->IsMonitoring());
    EXPECT_TRUE(Navigate(f, VK_UP));
    EXPECT_EQ(-1, tabs.GetButtonFocus());
    EXPECT_FALSE(tabs.IsContentMode());
    EXPECT_EQ(static_cast<int>(tabs.GetTabs().size()) - 1, tabs.GetFocusIndex());
    EXPECT_FALSE(Navigate(f, VK_UP));
}

TEST(RilTodayTabControl, StateIconsAreDrawnInTheButtons) {
    Fixture<> f;
    ASSERT_TRUE(f.CreateWindowForItem());
    // Monitoring off: the grey mast with the red slash; on: the green mast.
    auto hasColour = [&](int top, COLORREF colour) {
        for (int y = top; y < top + 16; ++y)
            for (int x = 2; x < 18; ++x)
                if (f.Pixel(x, y) == colour)
                    return true;
        return false;
    };
    EXPECT_TRUE(hasColour(20, RGB(220, 0, 0)));
    EXPECT_FALSE(hasColour(20, RGB(51, 255, 0)));
    f.Command(IDM_ITEM_MONITORING);
    EXPECT_TRUE(hasColour(20, RGB(51, 255, 0)));
    EXPECT_TRUE(hasColour(38, RGB(220, 0, 0)));
    f.Command(IDM_ITEM_LOGGING);
    EXPECT_FALSE(hasColour(38, RGB(220, 0, 0)));
    EXPECT_TRUE(hasColour(38, RGB(30, 70, 200)));
}
