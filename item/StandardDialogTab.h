#pragma once

#include <windows.h>
#include <commctrl.h>

#include "PropertyPage.h"

class KestrelTodayItem;

// The item's settings sheet: basic settings, BTS databases, web service and map, About.
class StandardDialogTab : public PropertyPage {
public:
    StandardDialogTab();
    PROPSHEETPAGEW* CreatePages(HINSTANCE instance, HWND parent, int& count) override;
};

// The item's command 40008: switches monitoring off, shows the sheet over the Today shell's
// window and, when the item's height changed, makes the Today screen lay its items out again.
void ShowSettingsSheet(KestrelTodayItem& item);
