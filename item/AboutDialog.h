#pragma once

#include <windows.h>

#include <string>

#include "CTodayOptionsDialog.h"

// The library's file version as "major.minor.build" and a line feed; empty when the module
// has no version resource.
std::wstring GetVersionText(HINSTANCE instance);

// The About page (dialog 126) with the version line.
class AboutDialog : public CTodayOptionsDialog {
public:
    AboutDialog(HINSTANCE instance, CTodayWindow* item, bool fullScreen);
    ~AboutDialog() override;

protected:
    BOOL OnInitDialog(LPARAM lParam) override;
};
