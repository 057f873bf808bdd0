#pragma once

#include <windows.h>

#include "CTodayOptionsDialog.h"
#include "CVORegistry.h"

// The web-service and map settings page (dialog 129): access e-mail and key, the service and
// map URL templates, and whether the map is shown after start.
class GPSOptionsDialog : public CTodayOptionsDialog {
public:
    GPSOptionsDialog(HINSTANCE instance, CTodayWindow* item, bool fullScreen);
    ~GPSOptionsDialog() override;

protected:
    BOOL OnInitDialog(LPARAM lParam) override;
    void OnOK() override;
    INT_PTR OnNotify(WPARAM wParam, NMHDR* header) override;

private:
    void LoadValues();
    void StoreValues();

    CVORegistry registry;
};
