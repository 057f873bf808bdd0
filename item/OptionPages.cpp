#include "OptionPages.h"

#include "AboutDialog.h"
#include "GPSOptionsDialog.h"
#include "KestrelBTSDBDialog.h"
#include "KestrelOptionsDialog.h"
#include "KestrelTodayItem.h"

const wchar_t* const ItemSettingsKey = L"\\Software\\Microsoft\\Today\\Items\\Kestrel";

namespace {

KestrelOptionsDialog* basicPage = nullptr;
KestrelBTSDBDialog* btsDatabasePage = nullptr;
AboutDialog* aboutPage = nullptr;
GPSOptionsDialog* gpsPage = nullptr;

template <class Page> void Destroy(Page*& page) {
    delete page;
    page = nullptr;
}

template <class Page>
INT_PTR Forward(Page* page, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return page ? page->DialogProc(dialog, message, wParam, lParam) : FALSE;
}

} // namespace

void CreateOptionPages(HINSTANCE instance, CTodayWindow* item) {
    basicPage = new KestrelOptionsDialog(instance, item, true);
    btsDatabasePage = new KestrelBTSDBDialog(instance, item, true);
    aboutPage = new AboutDialog(instance, item, true);
    gpsPage = new GPSOptionsDialog(instance, item, true);
}

void DestroyOptionPages() {
    Destroy(basicPage);
    Destroy(btsDatabasePage);
    Destroy(aboutPage);
    Destroy(gpsPage);
}

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                     LPARAM lParam) {
    return Forward(basicPage, dialog, message, wParam, lParam);
}

INT_PTR CALLBACK BtsDatabasePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return Forward(btsDatabasePage, dialog, message, wParam, lParam);
}

INT_PTR CALLBACK GpsOptionsPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return Forward(gpsPage, dialog, message, wParam, lParam);
}

INT_PTR CALLBACK AboutPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return Forward(aboutPage, dialog, message, wParam, lParam);
}

void ReloadItemSettings(CTodayWindow* item) {
    if (item)
        static_cast<KestrelTodayItem*>(item)->ReloadSettings();
}
