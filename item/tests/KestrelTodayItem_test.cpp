#include <gtest/gtest.h>

#include "ItemHarness.h"

using harness::Fixture;
using harness::PumpUntil;

namespace {

const char* const Walk = "operator \"23001\"\n"
                         "cell lac=100 id=1001 bcch=17\n"
                         "signal current=-80 min=-113 max=-51\n"
                         "equipment 2\n"
                         "step\n"
                         "cell lac=100 id=1002 bcch=23\n";

} // namespace

TEST(KestrelTodayItem, FirstPaintShowsThatNothingArrivedYet) {
    Fixture<> f;
    ASSERT_TRUE(f.CreateWindowForItem());
    RilInfoTabPage& page = f.item->GetTabControl().GetInfoPage();
    EXPECT_TRUE(page.IsMessageMode());
    EXPECT_EQ(L"Prozatím nebyla získána žádná data", page.GetMessageText());
    EXPECT_FALSE(f.item->IsMonitoring());
    EXPECT_FALSE(f.item->GetLogWriter().IsEnabled());
    // Nothing polls before monitoring is switched on.
    harness::Pump();
    EXPECT_EQ(0, f.TraceCount("RIL_Initialize"));
}

TEST(KestrelTodayItem, MonitoringShowsTheCellAndNetworkOfTheRadio) {
    Fixture<> f(Walk);
    ASSERT_TRUE(f.CreateWindowForItem());
    f.Command(IDM_ITEM_MONITORING);
    EXPECT_TRUE(f.item->IsMonitoring());
    EXPECT_TRUE(f.item->GetTabControl().IsMonitoring());
    ASSERT_TRUE(f.WaitForCell(L"1001"));
    RilInfoTabPage& page = f.item->GetTabControl().GetInfoPage();
    ASSERT_TRUE(PumpUntil([&] { return page.GetNetworkId() == L"23001"; }));
    EXPECT_FALSE(page.IsMessageMode());
    EXPECT_EQ(CellInfo(L"100", L"1001", L"17"), page.GetCell());
    ASSERT_TRUE(PumpUntil([&] { return f.item->GetTabControl().IsRadioOn(); }));
    int minimum, maximum, current;
    ASSERT_TRUE(PumpUntil([&] {
        page.GetSignal(minimum, maximum, current);
        return current == -80;
    }));
    EXPECT_EQ(-113, minimum);
    EXPECT_EQ(-51, maximum);

    // The next timer tick is the next cycle of the scenario.
    f.Send(WM_TIMER, 1);
    ASSERT_TRUE(f.WaitForCell(L"1002"));
    EXPECT_EQ(L"23", page.GetCell().bcch);

    // Off closes the radio and stops polling.
    f.Command(IDM_ITEM_MONITORING);
    EXPECT_FALSE(f.item->IsMonitoring());
    EXPECT_EQ(1, f.TraceCount("RIL_Deinitialize"));
}

TEST(KestrelTodayItem, RadioThatCannotBeOpenedIsReported) {
    Fixture<> f("init fail\ncell lac=1 id=2 bcch=3\n");
    ASSERT_TRUE(f.CreateWindowForItem());
    f.Command(IDM_ITEM_MONITORING);
    RilInfoTabPage& page = f.item->GetTabControl().GetInfoPage();
    ASSERT_TRUE(PumpUntil(
        [&] { return page.GetMessageText() == L"Nepodařilo se inicializovat knihovnu RIL"; }));
    EXPECT_TRUE(page.IsMessageMode());
    // A later paint keeps the error instead of the no-data text.
    f.item->Refresh(FALSE);
    EXPECT_EQ(L"Nepodařilo se inicializovat knihovnu RIL", page.GetMessageText());
}

TEST(KestrelTodayItem, LoggingWritesTheCellLogWhileOn) {
    const std::wstring log = L"item_test_log.txt";
    DeleteFileW(log.c_str());
    Fixture<> f(Walk);
    harness::SetString(L"LogFilePath", log);
    f.item->ReloadSettings();
    ASSERT_TRUE(f.CreateWindowForItem());

    f.Command(IDM_ITEM_LOGGING);
    EXPECT_TRUE(f.item->GetLogWriter().IsEnabled());
    EXPECT_TRUE(f.item->GetTabControl().IsLogging());
    f.Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(f.WaitForCell(L"1001"));
    f.Send(WM_TIMER, 1);
    ASSERT_TRUE(f.WaitForCell(L"1002"));
    // The window hears of a cell before the log writer, on the radio layer's thread, writes it.
    std::wstring text;
    EXPECT_TRUE(harness::PumpUntil([&] {
        text = harness::ReadUtf16File(log);
        return text.find(L";100;1002;23;23001; \n") != std::wstring::npos;
    }));
    // Logging off: the third cycle repeats the second cell, nothing more is written anyway.
    f.Command(IDM_ITEM_LOGGING);
    EXPECT_FALSE(f.item->GetTabControl().IsLogging());

    text = harness::ReadUtf16File(log);
    EXPECT_NE(std::wstring::npos, text.find(L";100;1001;17;23001; \n")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L";100;1002;23;23001; \n")) << text;
    DeleteFileW(log.c_str());
}

TEST(KestrelTodayItem, SettingsDefaultsAreWrittenOnFirstStart) {
    Fixture<> f;
    DWORD height = 0, interval = 0;
    EXPECT_TRUE(harness::ReadDWORD(L"ItemHeight", height));
    EXPECT_TRUE(harness::ReadDWORD(L"CheckInterval", interval));
    EXPECT_EQ(70u, height);
    EXPECT_EQ(5u, interval);
    EXPECT_EQ(70u, f.item->GetItemHeight());
    EXPECT_EQ(L"\\gsminfo.txt", f.item->GetLogWriter().GetFilePath());
}

TEST(KestrelTodayItem, ReloadedSettingsApply) {
    Fixture<> f;
    harness::SetDWORD(L"CheckInterval", 9);
    harness::SetDWORD(L"ItemHeight", 90);
    harness::SetString(L"LogFilePath", L"\\cells.txt");
    f.item->ReloadSettings();
    EXPECT_EQ(9, RadioInterface::GetCheckInterval());
    EXPECT_EQ(90u, f.item->GetItemHeight());
    EXPECT_EQ(L"\\cells.txt", f.item->GetLogWriter().GetFilePath());

    // 0 keeps the interval in force; an empty path falls back to the default log.
    harness::SetDWORD(L"CheckInterval", 0);
    harness::SetString(L"LogFilePath", L"");
    f.item->ReloadSettings();
    EXPECT_EQ(9, RadioInterface::GetCheckInterval());
    EXPECT_EQ(L"\\gsminfo.txt", f.item->GetLogWriter().GetFilePath());
    harness::SetDWORD(L"CheckInterval", 5);
    f.item->ReloadSettings();
}

TEST(KestrelTodayItem, ReloadForgetsTheLastCell) {
    Fixture<> f;
    ASSERT_TRUE(f.CreateWindowForItem());
    f.Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(f.WaitForCell(L"1001"));
    f.item->ReloadSettings();
    EXPECT_EQ(CellInfo(), f.item->GetLastCell());
}

TEST(KestrelTodayItem, MenuChecksFollowMonitoringAndLogging) {
    Fixture<> f;
    ASSERT_TRUE(f.CreateWindowForItem());
    auto checked = [&](UINT id) {
        return (GetMenuState(f.item->PrepareContextMenu(), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    HMENU menu = f.item->PrepareContextMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(4, GetMenuItemCount(menu));
    wchar_t text[64];
    GetMenuStringW(menu, IDM_ITEM_MONITORING, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(L"Sledovat informace o GSM síti", text);
    GetMenuStringW(menu, IDM_ITEM_LOGGING, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(L"Zapisovat informace do souboru", text);
    GetMenuStringW(menu, IDM_ITEM_MAP, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(L"Zobrazovat mapu", text);
    GetMenuStringW(menu, IDM_ITEM_SETTINGS, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(L"Nastavení...", text);

    EXPECT_FALSE(checked(IDM_ITEM_MONITORING));
    EXPECT_FALSE(checked(IDM_ITEM_LOGGING));
    f.Command(IDM_ITEM_MONITORING);
    EXPECT_TRUE(checked(IDM_ITEM_MONITORING));
    EXPECT_FALSE(checked(IDM_ITEM_LOGGING));
    f.Command(IDM_ITEM_LOGGING);
    EXPECT_TRUE(checked(IDM_ITEM_LOGGING));
    f.Command(IDM_ITEM_MONITORING);
    EXPECT_FALSE(checked(IDM_ITEM_MONITORING));
    EXPECT_TRUE(checked(IDM_ITEM_LOGGING));
}

TEST(KestrelTodayItem, ClearCacheClosesTheRadioAndTheNextTickSubscribesAgain) {
    Fixture<> f(Walk);
    ASSERT_TRUE(f.CreateWindowForItem());
    f.Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(f.WaitForCell(L"1001"));
    EXPECT_EQ(1, f.Send(WM_TODAYCUSTOM_CLEARCACHE));
    EXPECT_EQ(1, f.TraceCount("RIL_Deinitialize"));
    // A reopened radio starts its scenario again; the cell arrives only if the item listens.
    f.item->ReloadSettings();
    f.Send(WM_TIMER, 1);
    ASSERT_TRUE(f.WaitForCell(L"1001"));
}

TEST(KestrelTodayItem, NewWindowWhileMonitoringKeepsPolling) {
    Fixture<> f;
    harness::SetDWORD(L"CheckInterval", 1);
    f.item->ReloadSettings();
    ASSERT_TRUE(f.CreateWindowForItem());
    f.Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(f.WaitForCell(L"1001"));
    DestroyWindow(f.item->GetWindow());
    ASSERT_TRUE(f.CreateWindowForItem());
    int before = f.TraceCount("RIL_GetCellTowerInfo");
    EXPECT_TRUE(PumpUntil([&] { return f.TraceCount("RIL_GetCellTowerInfo") > before; }));
    harness::SetDWORD(L"CheckInterval", 5);
    f.item->ReloadSettings();
}

TEST(KestrelTodayItem, DestroyedItemLeavesNoSubscriberBehind) {
    auto* f = new Fixture<>;
    ASSERT_TRUE(f->CreateWindowForItem());
    f->Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(f->WaitForCell(L"1001"));
    // No clear-cache message before the item goes.
    delete f;

    struct Probe : RilSubscriber {
        void OnCellInfo(CellInfo) override { InterlockedIncrement(&cells); }
        void OnSignalQuality(int, int, int) override {}
        void OnNetworkId(std::wstring) override {}
        void OnRadioOn() override {}
        void OnRadioOff() override {}
        void OnError(std::wstring) override {}
        LONG cells = 0;
    } probe;
    RadioInterface::AddSubscriber(&probe);
    RadioInterface::Refresh();
    EXPECT_TRUE(PumpUntil([&] { return probe.cells == 1; }));
    RadioInterface::Deinitialize();
    RadioInterface::RemoveAllSubscribers();
}
