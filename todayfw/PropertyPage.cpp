#include "PropertyPage.h"

namespace {

// Asked by the device's sheet; 526 selects the Pocket PC style with the tabs at the bottom.
const UINT SheetGetVersion = 3;
const int PocketPcSheetVersion = 526;

int CALLBACK SheetCallback(HWND, UINT message, LPARAM) {
    return message == SheetGetVersion ? PocketPcSheetVersion : 0;
}

} // namespace

PropertyPage::~PropertyPage() = default;

void PropertyPage::Show(HINSTANCE instance, HWND parent) {
    int count = 0;
    PROPSHEETPAGEW* pages = CreatePages(instance, parent, count);
    if (!pages) {
        return;
    }
    if (count > 0) {
        PROPSHEETHEADERW header = {};
        header.dwSize = sizeof(header);
#ifdef UNDER_CE
        header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK | PSH_MAXIMIZE;
#else
        // Desktop common controls read the device's PSH_MAXIMIZE bit (0x2000) as the old
        // wizard flag; a desktop sheet has no full-screen form anyway.
        header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK;
#endif
        header.hwndParent = parent;
        header.hInstance = instance;
        header.nPages = count;
        header.nStartPage = 0;
        header.ppsp = pages;
        header.pfnCallback = SheetCallback;
        PropertySheetW(&header);
    }
    delete[] pages;
}
