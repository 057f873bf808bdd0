#include "RilTodayTabControl.h"

#include "KestrelTodayItem.h"

RilTodayTabControl::RilTodayTabControl(CTodayWindow* owner)
    : TodayTabControl(owner), infoPage(1, L"Základní údaje", this),
      detailPage(2, L"Podrobnosti", this), gpsPage(3, L"GPS data", this) {
    GetTabs().push_back(&infoPage);
    GetTabs().push_back(&detailPage);
    GetTabs().push_back(&gpsPage);
    SelectPage(&infoPage);
}

RilTodayTabControl::~RilTodayTabControl() {
    DestroyIcons();
}

void RilTodayTabControl::LoadIcons() {
    HINSTANCE instance = ownerWindow->GetInstance();
    auto load = [instance](UINT id) {
        return static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
    };
    monitoringOnIcon = load(IDI_MONITORING_ON);
    monitoringOffIcon = load(IDI_MONITORING_OFF);
    loggingOnIcon = load(IDI_LOGGING_ON);
    loggingOffIcon = load(IDI_LOGGING_OFF);
    iconsLoaded = true;
}

void RilTodayTabControl::DestroyIcons() {
    for (HICON icon : {monitoringOnIcon, monitoringOffIcon, loggingOnIcon, loggingOffIcon}) {
        if (icon)
            DestroyIcon(icon);
    }
}

void RilTodayTabControl::DrawTabs(HDC dc, SIZE& strip, const RECT& area) {
    if (!iconsLoaded && ownerWindow->GetInstance())
        LoadIcons();
    SetBkMode(dc, TRANSPARENT);
    HPEN pen = CreatePen(PS_SOLID, 0, ownerWindow->GetTextColor());
    HGDIOBJ oldPen = SelectObject(dc, pen);

    // Two frames open towards the item's left edge, sharing the line at y = 37.
    SetRect(&monitoringButton, 2, 20, 18, 36);
    POINT monitoringFrame[] = {{0, 18}, {20, 18}, {20, 37}, {0, 37}};
    Polyline(dc, monitoringFrame, 4);
    SetRect(&loggingButton, 2, monitoringButton.bottom + 2, 18, 54);
    POINT loggingFrame[] = {{0, 37}, {20, 37}, {20, 55}, {0, 55}};
    Polyline(dc, loggingFrame, 4);

    if (contentMode && buttonFocus != -1) {
        HBRUSH highlight = CreateSolidBrush(ownerWindow->GetHighlightColor());
        FillRect(dc, buttonFocus == 0 ? &monitoringButton : &loggingButton, highlight);
        DeleteObject(highlight);
    }
    HICON monitoringIcon = monitoring ? monitoringOnIcon : monitoringOffIcon;
    HICON loggingIcon = logging ? loggingOnIcon : loggingOffIcon;
    if (monitoringIcon)
        DrawIconEx(dc, 2, 20, monitoringIcon, 0, 0, 0, nullptr, DI_NORMAL);
    if (loggingIcon)
        DrawIconEx(dc, 2, 38, loggingIcon, 0, 0, 0, nullptr, DI_NORMAL);

    SelectObject(dc, oldPen);
    DeleteObject(pen);
    TodayTabControl::DrawTabs(dc, strip, area);
}

void RilTodayTabControl::RunItemCommand(UINT id) {
    if (auto* item = dynamic_cast<KestrelTodayItem*>(ownerWindow))
        item->OnCommand(id);
}

bool RilTodayTabControl::OnClick(int x, int y) {
    POINT point = {x, y};
    if (PtInRect(&monitoringButton, point)) {
        RunItemCommand(IDM_ITEM_MONITORING);
        return true;
    }
    if (PtInRect(&loggingButton, point)) {
        RunItemCommand(IDM_ITEM_LOGGING);
        return true;
    }
    return TodayTabControl::OnClick(x, y);
}

bool RilTodayTabControl::ResetFocus() {
    buttonFocus = -1;
    LeavePage();
    return TodayTabControl::ResetFocus();
}

bool RilTodayTabControl::FocusFirstTab() {
    if (!TodayTabControl::FocusFirstTab()) {
        EnterPage();
        buttonFocus = 0;
    }
    return true;
}

bool RilTodayTabControl::FocusLastTab() {
    EnterPage();
    buttonFocus = 1;
    return true;
}

bool RilTodayTabControl::IsFocusOnLastTab() {
    return contentMode && buttonFocus == 1;
}

bool RilTodayTabControl::CanMoveLeft() {
    return contentMode ? false : TodayTabControl::CanMoveLeft();
}

bool RilTodayTabControl::CanMoveRight() {
    return contentMode ? false : TodayTabControl::CanMoveRight();
}

bool RilTodayTabControl::CanMoveUp() {
    if (contentMode && buttonFocus > 0)
        return true;
    return TodayTabControl::CanFocusFirst();
}

bool RilTodayTabControl::CanMoveDown() {
    return contentMode ? buttonFocus < 1 : true;
}

bool RilTodayTabControl::CanFocusFirst() {
    return true;
}

bool RilTodayTabControl::CanFocusLast() {
    return true;
}

bool RilTodayTabControl::MoveLeft() {
    return contentMode ? false : TodayTabControl::MoveLeft();
}

bool RilTodayTabControl::MoveRight() {
    return contentMode ? false : TodayTabControl::MoveRight();
}

bool RilTodayTabControl::MoveUp() {
    if (!contentMode)
        return false;
    if (buttonFocus > 0) {
        --buttonFocus;
        return true;
    }
    TodayTabControl::LeavePage();
    buttonFocus = -1;
    TodayTabControl::FocusLastTab();
    return true;
}

bool RilTodayTabControl::MoveDown() {
    if (!contentMode) {
        TodayTabControl::EnterPage();
        buttonFocus = 0;
        return true;
    }
    if (buttonFocus < 1) {
        ++buttonFocus;
        return true;
    }
    TodayTabControl::LeavePage();
    buttonFocus = -1;
    return false;
}

bool RilTodayTabControl::ActivateFocusedTab() {
    if (contentMode && buttonFocus >= 0) {
        RunItemCommand(buttonFocus == 0 ? IDM_ITEM_MONITORING : IDM_ITEM_LOGGING);
        return true;
    }
    return TodayTabControl::ActivateFocusedTab();
}

RilInfoTabPage& RilTodayTabControl::GetInfoPage() {
    return infoPage;
}

CellDetailTabPage& RilTodayTabControl::GetDetailPage() {
    return detailPage;
}

GpsPositionTabPage& RilTodayTabControl::GetGpsPage() {
    return gpsPage;
}
