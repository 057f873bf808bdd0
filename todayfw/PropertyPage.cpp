#include "PropertyPage.h"

#include <prsht.h>

namespace {

// Asked by the device's sheet; 526 selects the Pocket PC style with the tabs at the bottom.
const UINT SheetGetVersion = 3;
const int PocketPcSheetVersion = 526;

#ifndef UNDER_CE
const UINT SheetInitialized = 1;
const int ApplyButton = 0x3021;
const int MarginPixels = 4;

// Every page made so far fills the tab control's display area; the sheet would place a page it
// makes later by the size of its template.
void FitPages(HWND sheet) {
    HWND tabs = PropSheet_GetTabControl(sheet);
    RECT area;
    GetWindowRect(tabs, &area);
    MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&area), 2);
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    for (int index = 0;; ++index) {
        HWND page = PropSheet_IndexToHwnd(sheet, index);
        if (!page)
            break;
        MoveWindow(page, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    }
}

LRESULT CALLBACK KeepPagesFitted(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR id, DWORD_PTR) {
    LRESULT result = DefSubclassProc(sheet, message, wParam, lParam);
    if (message == PSM_SETCURSEL || message == PSM_SETCURSELID ||
        (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == TCN_SELCHANGE))
        FitPages(sheet);
    else if (message == WM_NCDESTROY)
        RemoveWindowSubclass(sheet, KeepPagesFitted, id);
    return result;
}

// A desktop sheet in the device's form: it fills the work area (the screen below the Today
// navigation bar), one row of tabs lies under the pages, and OK and Cancel are in a row at the
// bottom, where the device has its menu bar.
void LayOutLikeTheDevice(HWND sheet) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(sheet, nullptr, work.left, work.top, work.right - work.left,
                 work.bottom - work.top, SWP_NOZORDER | SWP_NOACTIVATE);

    HDC dc = GetDC(sheet);
    const int margin = MulDiv(MarginPixels, GetDeviceCaps(dc, LOGPIXELSY), 96);
    ReleaseDC(sheet, dc);
    RECT client;
    GetClientRect(sheet, &client);

    HWND ok = GetDlgItem(sheet, IDOK);
    HWND cancel = GetDlgItem(sheet, IDCANCEL);
    ShowWindow(GetDlgItem(sheet, ApplyButton), SW_HIDE);
    ShowWindow(GetDlgItem(sheet, IDHELP), SW_HIDE);
    RECT button;
    GetWindowRect(ok, &button);
    const int buttonWidth = button.right - button.left;
    const int buttonHeight = button.bottom - button.top;
    const int buttonTop = client.bottom - margin - buttonHeight;
    MoveWindow(cancel, client.right - margin - buttonWidth, buttonTop, buttonWidth, buttonHeight,
               TRUE);
    MoveWindow(ok, client.right - 2 * (margin + buttonWidth), buttonTop, buttonWidth, buttonHeight,
               TRUE);

    HWND tabs = PropSheet_GetTabControl(sheet);
    LONG_PTR style = GetWindowLongPtrW(tabs, GWL_STYLE);
    SetWindowLongPtrW(tabs, GWL_STYLE, (style & ~TCS_MULTILINE) | TCS_BOTTOM);
    MoveWindow(tabs, margin, margin, client.right - 2 * margin, buttonTop - 2 * margin, TRUE);
    FitPages(sheet);
    SetWindowSubclass(sheet, KeepPagesFitted, 0, 0);
}
#endif

int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM) {
#ifndef UNDER_CE
    if (message == SheetInitialized)
        LayOutLikeTheDevice(sheet);
#else
    (void)sheet;
#endif
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
        // wizard flag; the callback gives the sheet the device's full-screen form instead.
        header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK;
        header.pszCaption = caption;
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
