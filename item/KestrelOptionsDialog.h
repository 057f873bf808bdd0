#pragma once

#include <windows.h>

#include "CTodayOptionsDialog.h"
#include "CVORegistry.h"

// The basic settings page (dialog 500): poll interval, cell log file and the item's height on
// the Today screen. It is also the Today shell's options dialog for the item.
class KestrelOptionsDialog : public CTodayOptionsDialog {
public:
    KestrelOptionsDialog(HINSTANCE instance, CTodayWindow* item, bool fullScreen);
    ~KestrelOptionsDialog() override;

protected:
    BOOL OnInitDialog(LPARAM lParam) override;
    void OnOK() override;
    void OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR OnNotify(WPARAM wParam, NMHDR* header) override;

private:
    void LoadValues();
    void StoreValues();
    void BrowseLogFile();

    CVORegistry registry;
};
