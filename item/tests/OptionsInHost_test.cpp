// The item's options in the Today host (dialog 500 with ordinal 241) in the device's form: the
// work area below the navigation bar, the host's title, and the Done button as an OK button
// that a tap presses.

#include <gtest/gtest.h>

#include "DialogDriver.h"
#include "HostHarness.h"
#include "PageDriver.h"
#include "resource.h"

using host_harness::Host;

TEST(OptionsInHost, FillTheWorkAreaAndCloseWithATapOnOk) {
    Host host("operator \"23001\"\ncell lac=100 id=1001 bcch=17\nequipment 2\n");
    ASSERT_TRUE(host.Start());
    ASSERT_TRUE(host.Item());
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);

    DWORD thread = GetCurrentThreadId();
    RECT dialogRect = {}, okRect = {};
    wchar_t caption[64] = L"";
    bool okVisible = false;
    {
        dialog_driver::Helper helper([&] {
            HWND page = page_driver::WaitForPage(thread, IDC_OPTIONS_INTERVAL);
            if (!page)
                return;
            GetWindowRect(page, &dialogRect);
            GetWindowTextW(page, caption, 64);
            HWND ok = GetDlgItem(page, IDOK);
            okVisible = ok && IsWindowVisible(ok);
            if (!ok)
                return;
            GetWindowRect(ok, &okRect);
            SetDlgItemTextW(page, IDC_OPTIONS_INTERVAL, L"7");
            RECT client;
            GetClientRect(ok, &client);
            LPARAM point = MAKELPARAM(client.right / 2, client.bottom / 2);
            PostMessageW(ok, WM_LBUTTONDOWN, MK_LBUTTON, point);
            PostMessageW(ok, WM_LBUTTONUP, 0, point);
        });
        host.host->OpenOptions(host.Item());
    }
    // The host's navigation bar stays outside the work area.
    EXPECT_GT(work.top, 0);
    EXPECT_EQ(work.top, dialogRect.top);
    EXPECT_EQ(work.bottom, dialogRect.bottom);
    EXPECT_EQ(work.right - work.left, dialogRect.right - dialogRect.left);
    EXPECT_STREQ(L"Kestrel", caption);
    EXPECT_TRUE(okVisible);
    EXPECT_GE(okRect.top, work.top);
    EXPECT_LE(okRect.bottom, work.bottom);
    DWORD interval = 0;
    ASSERT_TRUE(harness::ReadDWORD(L"CheckInterval", interval));
    EXPECT_EQ(7u, interval);
}
