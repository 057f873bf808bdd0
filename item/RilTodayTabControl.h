#pragma once

#include <windows.h>

#include "CellDetailTabPage.h"
#include "GpsPositionTabPage.h"
#include "RilInfoTabPage.h"
#include "TodayTabControl.h"

// The item's tab control: its pages, and a column of two state buttons (monitoring, logging)
// under the item icon that can be tapped or reached with the keyboard. Content mode means the
// keyboard focus is in the button column.
class RilTodayTabControl : public TodayTabControl {
public:
    explicit RilTodayTabControl(CTodayWindow* owner);
    ~RilTodayTabControl() override;

    void DrawTabs(HDC dc, SIZE& strip, const RECT& area) override;
    bool ResetFocus() override;
    bool FocusFirstTab() override;
    bool FocusLastTab() override;
    bool IsFocusOnLastTab() override;
    bool CanMoveLeft() override;
    bool CanMoveRight() override;
    bool CanMoveUp() override;
    bool CanMoveDown() override;
    bool CanFocusFirst() override;
    bool CanFocusLast() override;
    bool MoveLeft() override;
    bool MoveRight() override;
    bool MoveUp() override;
    bool MoveDown() override;
    bool ActivateFocusedTab() override;
    bool OnClick(int x, int y) override;

    virtual RilInfoTabPage& GetInfoPage();
    virtual CellDetailTabPage& GetDetailPage();
    virtual GpsPositionTabPage& GetGpsPage();

    bool IsRadioOn() const { return radioOn; }
    void SetRadioOn(bool flag) { radioOn = flag; }
    void SetLogging(bool flag) { logging = flag; }
    void SetMonitoring(bool flag) { monitoring = flag; }
    bool IsLogging() const { return logging; }
    bool IsMonitoring() const { return monitoring; }
    // -1 none, 0 monitoring button, 1 logging button.
    int GetButtonFocus() const { return buttonFocus; }

private:
    void LoadIcons();
    void DestroyIcons();
    void RunItemCommand(UINT id);

    RilInfoTabPage infoPage;
    CellDetailTabPage detailPage;
    GpsPositionTabPage gpsPage;
    bool radioOn = false;
    bool logging = false;
    bool monitoring = false;
    HICON monitoringOnIcon = nullptr;
    HICON monitoringOffIcon = nullptr;
    HICON loggingOnIcon = nullptr;
    HICON loggingOffIcon = nullptr;
    bool iconsLoaded = false;
    RECT monitoringButton = {0, 0, 0, 0};
    RECT loggingButton = {0, 0, 0, 0};
    int buttonFocus = -1;
};
