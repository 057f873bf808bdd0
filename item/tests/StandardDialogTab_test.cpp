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

// What the sheet looked like on the screen, gathered by the helper thread.
struct SheetForm {
    RECT sheet = {};
    std::wstring caption;
    LONG_PTR tabStyle = 0;
    int tabRows = 0;
    RECT tabs = {};
    RECT ok = {};
    RECT cancel = {};
    bool buttonsVisible = false;
    int pagesInside = 0;
};

RECT ScreenRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST_F(SettingsSheetTest, TakesTheDeviceFormBelowTheNavigationBarAndClosesWithATapOnOk) {
    // The work area as the Today host leaves it: the screen below its navigation bar.
    RECT saved;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0);
    RECT work = {0, 26, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &work, 0);
    SheetForm form;
    OpenSheet([&](HWND sheet) {
        form.sheet = ScreenRect(sheet);
        wchar_t caption[64] = L"";
        GetWindowTextW(sheet, caption, 64);
        form.caption = caption;
        HWND tabs = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
        form.tabStyle = GetWindowLongPtrW(tabs, GWL_STYLE);
        form.tabRows = static_cast<int>(SendMessageW(tabs, TCM_GETROWCOUNT, 0, 0));
        form.tabs = ScreenRect(tabs);
        HWND ok = GetDlgItem(sheet, IDOK);
        form.ok = ScreenRect(ok);
        form.cancel = ScreenRect(GetDlgItem(sheet, IDCANCEL));
        form.buttonsVisible = IsWindowVisible(ok) && IsWindowVisible(GetDlgItem(sheet, IDCANCEL));
        for (int tab = 0; tab < 4; ++tab) {
            SendMessageW(sheet, PSM_SETCURSEL, tab, 0);
            if (Inside(ScreenRect(CurrentPage(sheet)), form.tabs))
                ++form.pagesInside;
        }
        // A tap on OK, as the Today host posts it.
        RECT okClient;
        GetClientRect(ok, &okClient);
        LPARAM point = MAKELPARAM(okClient.right / 2, okClient.bottom / 2);
        PostMessageW(ok, WM_LBUTTONDOWN, MK_LBUTTON, point);
        PostMessageW(ok, WM_LBUTTONUP, 0, point);
        WaitUntilGone(sheet);
    });
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);

    EXPECT_EQ(work.top, form.sheet.top);
    EXPECT_EQ(work.left, form.sheet.left);
    EXPECT_EQ(work.right, form.sheet.right);
    EXPECT_EQ(work.bottom, form.sheet.bottom);
    EXPECT_EQ(L"Nastavení Kestrelu", form.caption);
    EXPECT_EQ(1, form.tabRows);
    EXPECT_TRUE(form.tabStyle & TCS_BOTTOM);
    EXPECT_TRUE(form.buttonsVisible);
    EXPECT_TRUE(Inside(form.ok, work));
    EXPECT_TRUE(Inside(form.cancel, work));
    EXPECT_GE(form.ok.top, form.tabs.bottom);
    EXPECT_EQ(4, form.pagesInside);
    EXPECT_FALSE(fixture.item->IsMonitoring());
}

} // namespace
