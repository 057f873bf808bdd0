#pragma once

#include <windows.h>
#include <commctrl.h>

// A set of settings pages shown together as one property sheet. Derived sets say which pages.
class PropertyPage {
public:
    PropertyPage() = default;
    PropertyPage(const PropertyPage&) = delete;
    PropertyPage& operator=(const PropertyPage&) = delete;

    // A new[] array of count records; Show frees it with delete[]. nullptr when there are none.
    virtual PROPSHEETPAGEW* CreatePages(HINSTANCE instance, HWND parent, int& count) = 0;
    virtual ~PropertyPage();

    // Modal: returns when the sheet has closed.
    void Show(HINSTANCE instance, HWND parent);

protected:
    // The sheet's title where the platform shows one (the desktop's caption bar); the device's
    // full-screen sheet has none. Not owned.
    const wchar_t* caption = nullptr;
};
