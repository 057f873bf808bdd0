// The item's polling period in the Today host follows CheckInterval: a stored value below 1
// keeps the interval in force, a huge one is capped at a day.

#include <gtest/gtest.h>

#include "DialogDriver.h"
#include "HostHarness.h"
#include "PageDriver.h"
#include "resource.h"

using host_harness::Host;

namespace {

const char Scenario[] = "operator \"23001\"\ncell lac=100 id=1001 bcch=17\nequipment 2\n";

// Loads the item with the stored interval (none: nothing stored), switches monitoring on and
// answers the polling timer's period.
UINT PeriodAfterLoad(const DWORD* stored) {
    Host host(Scenario);
    if (stored)
        harness::SetDWORD(L"CheckInterval", *stored);
    if (!host.Start() || !host.ItemWindow())
        return 0;
    host.Command(IDM_ITEM_MONITORING);
    harness::PumpUntil([&] { return host.PollPeriod() != 0; });
    return host.PollPeriod();
}

// The user types an interval into the item's options page (dialog 500) and confirms it.
void StoreThroughOptions(Host& host, const wchar_t* interval) {
    DWORD thread = GetCurrentThreadId();
    dialog_driver::Helper helper([thread, interval] {
        HWND page = page_driver::WaitForPage(thread, IDC_OPTIONS_INTERVAL);
        if (!page)
            return;
        SetDlgItemTextW(page, IDC_OPTIONS_INTERVAL, interval);
        SendMessageW(page, WM_COMMAND, IDOK, 0);
    });
    host.host->OpenOptions(host.Item());
}

} // namespace

TEST(PollingInterval, FreshLoadTakesTheStoredValueOrKeepsFiveSeconds) {
    const DWORD one = 1, zero = 0, minusOne = 0xFFFFFFFF, minusThree = 0xFFFFFFFD, huge = 100000;
    EXPECT_EQ(1000u, PeriodAfterLoad(&one));
    EXPECT_EQ(5000u, PeriodAfterLoad(nullptr));
    EXPECT_EQ(5000u, PeriodAfterLoad(&zero));
    EXPECT_EQ(5000u, PeriodAfterLoad(&minusOne));
    EXPECT_EQ(5000u, PeriodAfterLoad(&minusThree));
    EXPECT_EQ(86400000u, PeriodAfterLoad(&huge));
}

TEST(PollingInterval, ZeroOrNegativeFromTheOptionsKeepsTheIntervalInForce) {
    Host host(Scenario);
    harness::SetDWORD(L"CheckInterval", 1);
    ASSERT_TRUE(host.Start());
    ASSERT_TRUE(host.ItemWindow());
    host.Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(harness::PumpUntil([&] { return host.PollPeriod() == 1000; }));

    for (const wchar_t* interval : {L"0", L"-1", L"-3"}) {
        StoreThroughOptions(host, interval);
        DWORD stored = 1;
        ASSERT_TRUE(harness::ReadDWORD(L"CheckInterval", stored));
        EXPECT_EQ(static_cast<DWORD>(_wtoi(interval)), stored) << interval;
        EXPECT_EQ(1000u, host.PollPeriod()) << interval;
    }
    StoreThroughOptions(host, L"2");
    EXPECT_EQ(2000u, host.PollPeriod());
}
