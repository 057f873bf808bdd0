#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "DialogDriver.h"
#include "ItemHarness.h"
#include "OptionPages.h"
#include "PageDriver.h"
#include "StandardDialogTab.h"
#include "resource.h"

using namespace page_driver;

namespace {

TEST(StandardDialogTab, FourPagesWithTheirTemplatesTitlesAndProcedures) {
    StandardDialogTab sheet;
    HINSTANCE module = GetModuleHandleW(nullptr);
    int count = 0;
    PROPSHEETPAGEW* pages = sheet.CreatePages(module, nullptr, count);
    ASSERT_NE(nullptr, pages);
    ASSERT_EQ(4, count);
    const int templates[] = {500, 102, 129, 126};
    const wchar_t* titles[] = {L"Základní nastavení", L"Databáze BTS", L"BTS GPS souřadnice",
                               L"O aplikaci"};
    const DLGPROC procedures[] = {CustomItemOptionsDlgProc, BtsDatabasePageProc, GpsOptionsPageProc,
                                  AboutPageProc};
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(sizeof(PROPSHEETPAGEW), pages[i].dwSize);
        EXPECT_EQ(static_cast<DWORD>(PSP_USETITLE), pages[i].dwFlags);
        EXPECT_EQ(module, pages[i].hInstance);
        EXPECT_EQ(MAKEINTRESOURCEW(templates[i]), pages[i].pszTemplate);
        EXPECT_STREQ(titles[i], pages[i].pszTitle);
        EXPECT_EQ(procedures[i], pages[i].pfnDlgProc);
        EXPECT_EQ(0, pages[i].lParam);
    }
    delete[] pages;
}

// The Today shell's desktop window as the item finds it; records the refreshes it is sent.
class Desktop {
public:
    Desktop() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"DesktopExplorerWindow";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"Desktop", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    }
    ~Desktop() {
        DestroyWindow(window);
        UnregisterClassW(L"DesktopExplorerWindow", GetModuleHandleW(nullptr));
        changes.clear();
    }

    struct Change {
        WPARAM wParam;
        LPARAM lParam;
    };
    static inline std::vector<Change> changes;
    HWND window = nullptr;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_SETTINGCHANGE)
            changes.push_back({wParam, lParam});
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

// The settings sheet opened by the item's command 40008 over a monitoring item.
class SettingsSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateOptionPages(GetModuleHandleW(nullptr), fixture.item);
        ASSERT_NE(nullptr, fixture.CreateWindowForItem());
        fixture.Command(IDM_ITEM_MONITORING);
        ASSERT_TRUE(fixture.item->IsMonitoring());
    }
    void TearDown() override { DestroyOptionPages(); }

    // Sends command 40008; `drive` gets the sheet and must close it.
    void OpenSheet(const std::function<void(HWND)>& drive) {
        DWORD thread = GetCurrentThreadId();
        dialog_driver::Helper helper([&] {
            HWND sheet = WaitForDialog(
                thread, [](HWND w) { return SendMessageW(w, PSM_GETCURRENTPAGEHWND, 0, 0) != 0; });
            if (sheet)
                drive(sheet);
        });
        fixture.Command(IDM_ITEM_SETTINGS);
    }

    static HWND CurrentPage(HWND sheet) {
        return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    }

    static void PressOk(HWND sheet) {
        SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        WaitUntilGone(sheet);
    }

    harness::Fixture<> fixture;
    Desktop desktop;
};

TEST_F(SettingsSheetTest, LeavingTheBasicPageStoresAtOnceAndAnUnchangedHeightSendsNoRefresh) {
    DWORD intervalAfterLeaving = 0;
    std::wstring secondTitle;
    OpenSheet([&](HWND sheet) {
        HWND basic = CurrentPage(sheet);
        SetDlgItemTextW(basic, IDC_OPTIONS_INTERVAL, L"9");
        // To the third tab; the second, the BTS databases, is not visited.
        SendMessageW(sheet, PSM_SETCURSEL, 2, 0);
        ReadDWORD(L"CheckInterval", intervalAfterLeaving);
        HWND gps = CurrentPage(sheet);
        if (gps != basic)
            SetDlgItemTextW(gps, IDC_GPS_EMAIL, L"a@b.cz");
        PressOk(sheet);
    });
    EXPECT_EQ(9u, intervalAfterLeaving);
    DWORD interval = 0;
    ASSERT_TRUE(ReadDWORD(L"CheckInterval", interval));
    EXPECT_EQ(9u, interval);
    std::wstring email;
    ASSERT_TRUE(ReadString(L"AppEmail", email));
    EXPECT_EQ(L"a@b.cz", email);
    EXPECT_FALSE(fixture.item->IsMonitoring());
    EXPECT_TRUE(Desktop::changes.empty());
}

TEST_F(SettingsSheetTest, ChangedHeightRefreshesTheTodayScreenOnce) {
    OpenSheet([&](HWND sheet) {
        SetDlgItemTextW(CurrentPage(sheet), IDC_OPTIONS_HEIGHT, L"45");
        PressOk(sheet);
    });
    EXPECT_EQ(45u, fixture.item->GetItemHeight());
    ASSERT_EQ(1u, Desktop::changes.size());
    EXPECT_EQ(0xF2u, Desktop::changes[0].wParam);
    EXPECT_EQ(0, Desktop::changes[0].lParam);
    EXPECT_FALSE(fixture.item->IsMonitoring());
}

TEST_F(SettingsSheetTest, CancelAfterLeavingAPageKeepsWhatLeavingStored) {
    std::wstring version;
    OpenSheet([&](HWND sheet) {
        SetDlgItemTextW(CurrentPage(sheet), IDC_OPTIONS_HEIGHT, L"50");
        // Through every tab to the last.
        for (int tab = 1; tab < 4; ++tab)
            SendMessageW(sheet, PSM_SETCURSEL, tab, 0);
        version = Text(CurrentPage(sheet), IDC_ABOUT_VERSION);
        SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        WaitUntilGone(sheet);
    });
    DWORD height = 0;
    ASSERT_TRUE(ReadDWORD(L"ItemHeight", height));
    EXPECT_EQ(50u, height);
    EXPECT_EQ(1u, Desktop::changes.size());
    EXPECT_EQ(L"Kestrel verze: 0.10.0\n", version);
}

} // namespace
