#include "KestrelTodayItem.h"

#include "GpsSettings.h"
#include "RadioInterface.h"
#include "StandardDialogTab.h"
#include "aygshell.h"

namespace {

const wchar_t* const SettingsKey = L"\\Software\\Microsoft\\Today\\Items\\Kestrel";
const wchar_t* const DefaultLogPath = L"\\gsminfo.txt";
const wchar_t* const BtsDatabaseKey = L"GSMDB";
const wchar_t* const DefaultBtsDirectory = L"\\GsmDb\\";
const wchar_t* const NoDataText = L"Prozatím nebyla získána žádná data";
const UINT_PTR PollTimer = 1;
const DWORD DefaultItemHeight = 70;
const DWORD DefaultCheckInterval = 5;

} // namespace

KestrelTodayItem::KestrelTodayItem(HINSTANCE instance)
    : mailbox(this), networkId(NO_NETWORK_ID), logWriter(new RilFileSubscriber(DefaultLogPath)),
      tabControl(this), registry(HKEY_LOCAL_MACHINE, SettingsKey, TRUE),
      btsReader(DefaultBtsDirectory) {
    SetInstance(instance);
    SetIcon(IDI_KESTREL, 2, 0);
    SetClassName(L"KestrelTodayItemClass", L"KestrelTodayItemWindow");
    // A registration left over from an earlier load of the library would be stale.
    UnregisterWindowClass();
    ReloadSettings();
    logWriter->SetEnabled(false);
    // The mailbox first: the window learns of a value before the log writer writes it.
    RadioInterface::AddSubscriber(&mailbox);
    RadioInterface::AddSubscriber(logWriter);
    tabControl.SetMonitoring(monitoring);
    tabControl.SetLogging(logWriter->IsEnabled());
    tabControl.SetRadioOn(false);
    contextMenu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_ITEM_MENU));
}

KestrelTodayItem::~KestrelTodayItem() {
    // The radio layer must not keep subscribers that are about to go. It is closed already
    // (by the window's destruction or the clear-cache message), so the list may change.
    if (!resubscribePending)
        RadioInterface::RemoveAllSubscribers();
    if (contextMenu)
        DestroyMenu(contextMenu);
    delete logWriter;
}

void KestrelTodayItem::StartTimer() {
    SetTimer(hWnd, PollTimer, RadioInterface::GetCheckInterval() * 1000, nullptr);
}

void KestrelTodayItem::Resubscribe() {
    if (resubscribePending) {
        RadioInterface::AddSubscriber(&mailbox);
        RadioInterface::AddSubscriber(logWriter);
        resubscribePending = false;
    }
}

void KestrelTodayItem::ReloadSettings() {
    // The reader switch and the database path are kept in the registry but act on nothing.
    registry.GetDWORDValue(L"EnableCVSReader", 1);
    std::wstring btsDirectory = DefaultBtsDirectory;
    if (registry.SubKeyExists(BtsDatabaseKey)) {
        const std::wstring databaseKey = std::wstring(SettingsKey) + L"\\" + BtsDatabaseKey;
        CVORegistry database(HKEY_LOCAL_MACHINE, databaseKey.c_str(), FALSE);
        btsDirectory = database.GetStringValue(L"GSMDirectory", DefaultBtsDirectory).c_str();
    }
    registry.GetDWORDValue(L"EnableGSMDatabase", 0);
    registry.GetStringValue(L"GSMDatabasePath", L"");

    SetItemHeight(registry.GetDWORDValue(L"ItemHeight", DefaultItemHeight));
    DWORD checkInterval = registry.GetDWORDValue(L"CheckInterval", DefaultCheckInterval);
    std::wstring logPath = registry.GetStringValue(L"LogFilePath", DefaultLogPath).c_str();
    if (logPath.empty())
        logPath = DefaultLogPath;
    // The value is signed, as the settings page stores it: zero and negative values keep the
    // interval in force; a huge one is capped at a day.
    int interval = static_cast<int>(checkInterval);
    RadioInterface::SetCheckInterval(interval > 86400 ? 86400 : interval);
    logWriter->SetFilePath(logPath);
    btsReader.SetDirectory(btsDirectory);
    GpsSettings& gpsSettings = GpsSettings::Instance();
    gpsSettings.Invalidate();
    const bool autoMap = gpsSettings.GetAutoMapAfterStart();
    GpsPositionTabPage& gpsPage = tabControl.GetGpsPage();
    gpsPage.SetRequestsEnabled(autoMap);
    gpsPage.SetMapEnabled(autoMap);
    lastCell = CellInfo();
    if (monitoring && hWnd) {
        KillTimer(hWnd, PollTimer);
        StartTimer();
    }
}

void KestrelTodayItem::ToggleMonitoring() {
    monitoring = !monitoring;
    tabControl.SetMonitoring(monitoring);
    if (monitoring) {
        StartTimer();
        Resubscribe();
        RadioInterface::Refresh();
    } else {
        KillTimer(hWnd, PollTimer);
        RadioInterface::Deinitialize();
    }
    Refresh(false);
}

bool KestrelTodayItem::OnCommand(UINT id) {
    switch (id) {
    case IDM_ITEM_MONITORING:
        ToggleMonitoring();
        return true;
    case IDM_ITEM_LOGGING:
        logWriter->SetEnabled(!logWriter->IsEnabled());
        tabControl.SetLogging(logWriter->IsEnabled());
        Refresh(false);
        return true;
    case IDM_ITEM_SETTINGS:
        ShowSettingsSheet(*this);
        return true;
    case IDM_ITEM_MAP: {
        GpsPositionTabPage& gpsPage = tabControl.GetGpsPage();
        const bool map = !gpsPage.IsMapEnabled();
        gpsPage.SetMapEnabled(map);
        gpsPage.SetRequestsEnabled(map);
        return true;
    }
    default:
        return false;
    }
}

HMENU KestrelTodayItem::PrepareContextMenu() {
    HMENU popup = GetSubMenu(contextMenu, 0);
    CheckMenuItem(popup, IDM_ITEM_MONITORING, monitoring ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(popup, IDM_ITEM_LOGGING, logWriter->IsEnabled() ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(popup, IDM_ITEM_MAP,
                  tabControl.GetGpsPage().IsMapEnabled() ? MF_CHECKED : MF_UNCHECKED);
    return popup;
}

LRESULT KestrelTodayItem::OnCreate(LPCREATESTRUCTW createStruct) {
    LRESULT result = CTodayWindow::OnCreate(createStruct);
    // A window created again while monitoring is on keeps polling, as its menu says.
    if (result != -1 && monitoring)
        StartTimer();
    if (result != -1)
        tabControl.GetGpsPage().OnOwnerCreated();
    return result;
}

void KestrelTodayItem::OnDestroy() {
    tabControl.NotifyOwnerDestroyed();
    // Without the shell's clear-cache message first, the radio is closed here: the library's
    // unload that may follow runs under the loader lock, where the radio layer's thread
    // cannot be waited for. A new window's timer subscribes and opens the radio again.
    if (!resubscribePending)
        OnClearCache(0);
    CTodayWindow::OnDestroy();
}

void KestrelTodayItem::PaintItem(HDC memoryDC) {
    RECT client;
    GetClientRect(hWnd, &client);
    if (noData)
        tabControl.GetInfoPage().SetMessage(NoDataText);
    tabControl.Paint(memoryDC, client);
}

LRESULT KestrelTodayItem::OnClearCache(WPARAM) {
    RadioInterface::Deinitialize();
    RadioInterface::RemoveAllSubscribers();
    resubscribePending = true;
    return 1;
}

void KestrelTodayItem::OnLButtonDown(UINT, int x, int y) {
    SHRGINFO gesture = {};
    gesture.cbSize = sizeof(gesture);
    gesture.hwndClient = hWnd;
    gesture.ptDown.x = x;
    gesture.ptDown.y = y;
    gesture.dwFlags = SHRG_RETURNCMD;
    POINT screen = {x, y};
    ClientToScreen(hWnd, &screen);
    if (!tabControl.HasFocus())
        PostMessageW(hShellWnd, TODAYM_TOOKSELECTION, reinterpret_cast<WPARAM>(hWnd), 0);
    if (SHRecognizeGesture(&gesture) == GN_CONTEXTMENU) {
        TrackPopupMenuEx(PrepareContextMenu(), 0, screen.x, screen.y, hWnd, nullptr);
    } else if (tabControl.OnClick(x, y)) {
        Refresh(false);
    }
}

LRESULT KestrelTodayItem::OnDefaultMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        Resubscribe();
        RadioInterface::Refresh();
        return 0;
    case WM_RILUPDATE:
        mailbox.OnRilUpdate(message, wParam, lParam);
        return 0;
    case WM_GPSREQUESTDONE: {
        GpsPositionTabPage& gpsPage = tabControl.GetGpsPage();
        gpsPage.OnRequestDone();
        TabPage* current = tabControl.GetCurrentPage();
        if (current && current->GetOrder() == gpsPage.GetOrder())
            Refresh(false);
        return 0;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return CTodayWindow::OnDefaultMessage(message, wParam, lParam);
    default:
        return CTodayWindow::OnDefaultMessage(message, wParam, lParam);
    }
}

LRESULT KestrelTodayItem::OnReceivedSelection(WPARAM key) {
    switch (key) {
    case VK_UP:
        return tabControl.FocusLastTab();
    case VK_DOWN:
        return tabControl.FocusFirstTab();
    case 0: {
        bool focused = tabControl.FocusFirstTab();
        if (focused)
            Refresh(false);
        return focused;
    }
    default:
        return 0;
    }
}

LRESULT KestrelTodayItem::OnUserNavigation(WPARAM key) {
    bool moved;
    switch (key) {
    case VK_LEFT:
        moved = tabControl.MoveLeft();
        break;
    case VK_UP:
        moved = tabControl.MoveUp();
        break;
    case VK_RIGHT:
        moved = tabControl.MoveRight();
        break;
    case VK_DOWN:
        moved = tabControl.MoveDown();
        break;
    default:
        return 0;
    }
    if (moved)
        Refresh(false);
    return moved;
}

void KestrelTodayItem::OnAction(WPARAM) {
    if (tabControl.ActivateFocusedTab())
        Refresh(false);
}

void KestrelTodayItem::OnLostSelection() {
    tabControl.ResetFocus();
    Refresh(false);
}

bool KestrelTodayItem::IsInfoPageVisible() {
    TabPage* current = tabControl.GetCurrentPage();
    return current && current->GetOrder() == tabControl.GetInfoPage().GetOrder();
}

void KestrelTodayItem::OnCellInfo(CellInfo cell) {
    noData = false;
    bool changed = cell != lastCell;
    lastCell = cell;
    errorText.clear();
    GetLocalTime(&lastUpdate);
    RilInfoTabPage& page = tabControl.GetInfoPage();
    page.SetTime(lastUpdate);
    page.SetCell(lastCell);
    page.SetNetworkId(networkId);

    CellDetailTabPage& detailPage = tabControl.GetDetailPage();
    bool detailReset = false;
    if (changed) {
        detailPage.Reset();
        detailPage.ShowRecord(
            btsReader.GetExtendedInformation(lastCell.lac, lastCell.cellId, networkId));
    } else if (networkId == NO_NETWORK_ID) {
        detailPage.Reset();
        detailReset = true;
    }
    GpsPositionTabPage& gpsPage = tabControl.GetGpsPage();
    gpsPage.SetNetworkCode(networkId);
    gpsPage.SetCell(lastCell);

    if (IsInfoPageVisible() || changed || detailReset)
        Refresh(false);
}

void KestrelTodayItem::OnSignalQuality(int minimum, int maximum, int current) {
    RilInfoTabPage& page = tabControl.GetInfoPage();
    int shownMin, shownMax, shownCurrent;
    page.GetSignal(shownMin, shownMax, shownCurrent);
    if (shownMin == minimum && shownMax == maximum && shownCurrent == current)
        return;
    page.SetSignal(minimum, maximum, current);
    if (IsInfoPageVisible())
        Refresh(false);
}

void KestrelTodayItem::OnNetworkId(std::wstring id) {
    noData = false;
    networkId = id;
    RilInfoTabPage& page = tabControl.GetInfoPage();
    if (page.GetNetworkId() != networkId) {
        page.SetNetworkId(networkId);
        if (IsInfoPageVisible())
            Refresh(false);
    }
}

void KestrelTodayItem::OnRadioOn() {
    if (!tabControl.IsRadioOn()) {
        tabControl.SetRadioOn(true);
        Refresh(false);
    }
}

void KestrelTodayItem::OnRadioOff() {
    if (tabControl.IsRadioOn()) {
        tabControl.SetRadioOn(false);
        Refresh(false);
    }
}

void KestrelTodayItem::OnError(std::wstring text) {
    errorText = text;
    noData = false;
    tabControl.GetInfoPage().SetMessage(errorText);
    if (IsInfoPageVisible())
        Refresh(false);
}
