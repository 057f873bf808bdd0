#include "StandardDialogTab.h"

#include "KestrelTodayItem.h"
#include "OptionPages.h"
#include "resource.h"

namespace {

struct Tab {
    int dialog;
    const wchar_t* title;
    DLGPROC procedure;
};

const Tab Tabs[] = {
    {IDD_OPTIONS, L"Základní nastavení", CustomItemOptionsDlgProc},
    {IDD_BTSDB, L"Databáze BTS", BtsDatabasePageProc},
    {IDD_GPS_OPTIONS, L"BTS GPS souřadnice", GpsOptionsPageProc},
    {IDD_ABOUT, L"O aplikaci", AboutPageProc},
};

const wchar_t* const DesktopClass = L"DesktopExplorerWindow";
const wchar_t* const DesktopName = L"Desktop";
// wParam of WM_SETTINGCHANGE that makes the Today screen lay its items out again.
const WPARAM TodayRefresh = 0xF2;

} // namespace

StandardDialogTab::StandardDialogTab() {
    caption = L"Nastavení Kestrelu";
}

PROPSHEETPAGEW* StandardDialogTab::CreatePages(HINSTANCE instance, HWND, int& count) {
    count = static_cast<int>(sizeof(Tabs) / sizeof(Tabs[0]));
    PROPSHEETPAGEW* pages = new PROPSHEETPAGEW[count]();
    for (int i = 0; i < count; ++i) {
        pages[i].dwSize = sizeof(PROPSHEETPAGEW);
        pages[i].dwFlags = PSP_USETITLE;
        pages[i].hInstance = instance;
        pages[i].pszTemplate = MAKEINTRESOURCEW(Tabs[i].dialog);
        pages[i].pszTitle = Tabs[i].title;
        pages[i].pfnDlgProc = Tabs[i].procedure;
    }
    return pages;
}

void ShowSettingsSheet(KestrelTodayItem& item) {
    StandardDialogTab sheet;
    // Polling stays off afterwards: the settings may have changed under it.
    if (item.IsMonitoring())
        item.ToggleMonitoring();
    UINT heightBefore = item.GetItemHeight();
    sheet.Show(item.GetInstance(), item.GetShellWindow());
    if (item.GetItemHeight() != heightBefore) {
        HWND desktop = FindWindowW(DesktopClass, DesktopName);
        if (desktop)
            SendMessageW(desktop, WM_SETTINGCHANGE, TodayRefresh, 0);
    }
}
