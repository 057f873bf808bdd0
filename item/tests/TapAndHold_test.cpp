// A hold on the item in the Today host goes through aygshell's gesture recognition and opens
// the item's menu 103 with its check marks showing the current states.

#include <gtest/gtest.h>

#include "HostHarness.h"
#include "resource.h"

using host_harness::Host;

namespace {

struct MenuSeen {
    bool open = false;
    UINT monitoring = 0;
    UINT logging = 0;
    UINT map = 0;
};

MenuSeen seen;

// Runs from the menu's modal loop: reads the open menu and closes it.
void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    HMENU menu =
        menuWindow ? reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0)) : nullptr;
    if (!menu)
        return;
    KillTimer(nullptr, timer);
    seen.open = true;
    seen.monitoring = GetMenuState(menu, IDM_ITEM_MONITORING, MF_BYCOMMAND);
    seen.logging = GetMenuState(menu, IDM_ITEM_LOGGING, MF_BYCOMMAND);
    seen.map = GetMenuState(menu, IDM_ITEM_MAP, MF_BYCOMMAND);
    EndMenu();
}

} // namespace

TEST(TapAndHold, HoldOpensTheItemMenuWithItsCheckMarks) {
    Host host("operator \"23001\"\ncell lac=100 id=1001 bcch=17\nequipment 2\n");
    harness::SetDWORD(L"AutoMapAfterStart", 1);
    ASSERT_TRUE(host.Start());
    HWND item = host.ItemWindow();
    ASSERT_TRUE(item);
    host.Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(harness::PumpUntil([&] { return host.PollPeriod() != 0; }));

    // The stylus goes down on the item and stays there.
    RECT area;
    GetWindowRect(item, &area);
    POINT point = {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    SetCursorPos(point.x, point.y);
    ScreenToClient(item, &point);
    seen = MenuSeen();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadOpenMenu);
    PostMessageW(item, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
    bool opened = harness::PumpUntil([] { return seen.open; });
    KillTimer(nullptr, timer);
    PostMessageW(item, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
    harness::Pump();

    ASSERT_TRUE(opened);
    EXPECT_TRUE(seen.monitoring & MF_CHECKED);
    EXPECT_FALSE(seen.logging & MF_CHECKED);
    EXPECT_TRUE(seen.map & MF_CHECKED);
}
