#include "GpsPositionTabPage.h"

#include "CTodayWindow.h"
#include "GpsSettings.h"
#include "RadioInterface.h"
#include "TodayTabControl.h"

namespace {

const int kTextLeft = 26;
const int kRightMargin = 10;
// Below this many pixels under the item the map goes above it.
const int kMinimumRoomBelow = 50;

const wchar_t kMapSwitchedOff[] =
    L"Zobrazování mapy je vypnuto. Můžete jej zapnout  v kontextovém menu.";
const wchar_t kNoAppEmail[] = L"Chyba - není zadán email asociovaný s přístupovým kódem aplikace";
const wchar_t kNoAppKey[] = L"Chyba - nebyl zadán / vygenerován přístupový kód";
const wchar_t kNoServiceUrl[] =
    L"Chyba - v konfiguraci musíte zadat adresu služby poskytující GPS souřadnice";
const wchar_t kNoMapUrl[] = L"Chyba: Nezadána adresa mapy v konfiguraci aplikace.";
const wchar_t kNoData[] = L"Žádná data k vykreslení!";
const wchar_t kUnknownCoordinate[] = L"???";

bool IsValidCell(const CellInfo& cell) {
    return cell.lac != L"-1" && cell.cellId != L"-1";
}

bool IsValidNetworkCode(const std::wstring& code) {
    return !code.empty() && code != NO_NETWORK_ID;
}

void ReplaceFirst(std::wstring& text, const std::wstring& placeholder, const std::wstring& value) {
    const size_t at = text.find(placeholder);
    if (at != std::wstring::npos) {
        text.replace(at, placeholder.size(), value);
    }
}

std::wstring FailureText(const std::wstring& errorCode) {
    std::wstring message;
    GpsSettings::Instance().GetErrorMessage(ErrorCodeNumber(errorCode, 0), message);
    return L"Chyba: " + message + L" Kód chyby: " + errorCode;
}

} // namespace

GpsPositionTabPage::NotifyAsyncRequestDone GpsPositionTabPage::NotifyAsyncRequestDone::instance;

GpsPositionTabPage::NotifyAsyncRequestDone& GpsPositionTabPage::NotifyAsyncRequestDone::Instance() {
    return instance;
}

void GpsPositionTabPage::NotifyAsyncRequestDone::SetWindow(CTodayWindow* itemWindow) {
    lock.AcquireWrite();
    window = itemWindow;
    lock.ReleaseWrite();
}

void GpsPositionTabPage::NotifyAsyncRequestDone::Notify() {
    // Posting under the read lock: once a page's destructor has cleared the window, nothing
    // reaches that window any more.
    lock.AcquireRead();
    if (window) {
        PostMessageW(window->GetWindow(), WM_GPSREQUESTDONE, 0, 0);
    }
    lock.ReleaseRead();
}

GpsPositionTabPage::GpsPositionTabPage(int order, const wchar_t* title, TodayTabControl* owner)
    : TabPage(order, title, owner),
      mapWindow(std::make_unique<CTodayHtmlWindow>(owner->GetOwnerWindow())) {}

GpsPositionTabPage::~GpsPositionTabPage() {
    NotifyAsyncRequestDone::Instance().SetWindow(nullptr);
    if (pendingRequest && !pendingRequest->Abandon()) {
        delete pendingRequest;
    }
    mapWindow->Destroy();
    CTodayHtmlWindow::UnregisterWindowClass(ItemWindow()->GetInstance());
}

CTodayWindow* GpsPositionTabPage::ItemWindow() const {
    return GetOwner()->GetOwnerWindow();
}

bool GpsPositionTabPage::IsCurrentPage() const {
    return GetOwner()->GetCurrentPage() == this;
}

void GpsPositionTabPage::SetStatusText(const std::wstring& text) {
    statusText = text;
    HWND window = ItemWindow()->GetWindow();
    if (IsCurrentPage() && window) {
        InvalidateRect(window, nullptr, TRUE);
    }
}

void GpsPositionTabPage::SetNetworkCode(const std::wstring& code) {
    networkCode = code;
    SendRequest();
}

void GpsPositionTabPage::SetCell(const CellInfo& cell) {
    if (!mapEnabled) {
        SetStatusText(kMapSwitchedOff);
        return;
    }
    if (!IsValidCell(cell)) {
        return;
    }
    cellSeen = true;
    if (cell == currentCell) {
        return;
    }
    currentCell = cell;
    if (IsValidNetworkCode(networkCode)) {
        SendRequest();
    }
}

void GpsPositionTabPage::SetRequestsEnabled(bool enabled) {
    if (!enabled) {
        mapEnabled = false;
    }
    requestsEnabled = enabled;
    if (enabled) {
        SendRequest();
    }
}

void GpsPositionTabPage::SetMapEnabled(bool enabled) {
    mapEnabled = enabled;
    SetStatusText(L"");
}

void GpsPositionTabPage::SendRequest() {
    // Tested on every call, so a missing setting shows whatever the switches say.
    GpsSettings& settings = GpsSettings::Instance();
    const std::wstring appEmail = settings.GetAppEmail();
    const std::wstring appKey = settings.GetAppKey();
    const std::wstring serviceUrl = settings.GetServiceUrl();
    if (appEmail.empty()) {
        SetStatusText(kNoAppEmail);
        return;
    }
    if (appKey.empty()) {
        SetStatusText(kNoAppKey);
        return;
    }
    if (serviceUrl.empty()) {
        SetStatusText(kNoServiceUrl);
        return;
    }
    if (!requestsEnabled || !cellSeen || requestInFlight || !IsValidNetworkCode(networkCode)) {
        return;
    }
    requestedCell = currentCell;
    if (requestedCell == lastRecord.cell) {
        return;
    }
    requestInFlight = true;
    NotifyAsyncRequestDone& target = NotifyAsyncRequestDone::Instance();
    target.SetWindow(ItemWindow());
    pendingRequest = new Request(&target, requestedCell, networkCode, appEmail, appKey, serviceUrl);
    if (!pendingRequest->Start()) {
        delete pendingRequest;
        pendingRequest = nullptr;
        requestInFlight = false;
        wchar_t code[16];
        wsprintfW(code, L"%d", GpsSettings::ClientError);
        SetStatusText(FailureText(code));
        return;
    }
    SetStatusText(L"Odeslán požadavek na CID: " + requestedCell.cellId);
}

void GpsPositionTabPage::OnRequestDone() {
    // The request sets its done flag before it posts, so a message that finds no request, or
    // one still running, is not this request's and is left alone.
    if (!pendingRequest || !pendingRequest->IsDone()) {
        return;
    }
    lastRecord.result = pendingRequest->GetResult();
    lastRecord.cell = pendingRequest->GetCell();
    lastRecord.success = pendingRequest->IsSuccessful();
    delete pendingRequest;
    pendingRequest = nullptr;
    requestInFlight = false;

    mapUrl = GpsSettings::Instance().GetMapUrl();
    if (!lastRecord.success) {
        SetStatusText(FailureText(lastRecord.result.errorCode));
    } else if (!mapUrl.empty()) {
        SetStatusText(L"");
        FillMapUrl();
        if (mapWindow->IsVisible() && mapWindow->IsFullScreen() && mapWindow->GetUrl() != mapUrl) {
            mapWindow->Navigate(mapUrl);
        }
    } else {
        SetStatusText(kNoMapUrl);
    }
    SendRequest();
}

void GpsPositionTabPage::OnOwnerCreated() {
    // A request still running tells the new window itself.
    if (pendingRequest && pendingRequest->IsDone()) {
        PostMessageW(ItemWindow()->GetWindow(), WM_GPSREQUESTDONE, 0, 0);
    }
}

void GpsPositionTabPage::FillMapUrl() {
    // The coordinates go in exactly as the service sent them.
    ReplaceFirst(mapUrl, L"{LAT}", lastRecord.result.latitude);
    ReplaceFirst(mapUrl, L"{LON}", lastRecord.result.longitude);
}

std::wstring GpsPositionTabPage::ComposeText() const {
    std::wstring text;
    if (cellSeen && IsValidCell(requestedCell)) {
        const bool known = lastRecord.success;
        text = L"Informace o CID: " + requestedCell.cellId + L"\r\nLAT: " +
               (known ? lastRecord.result.latitude : kUnknownCoordinate) + L" LON: " +
               (known ? lastRecord.result.longitude : kUnknownCoordinate);
    } else {
        text = kNoData;
    }
    if (!statusText.empty()) {
        text += L"--" + statusText;
    }
    return text;
}

void GpsPositionTabPage::Paint(HDC dc, SIZE strip, RECT area) {
    const std::wstring text = ComposeText();
    const CTodayWindow* window = ItemWindow();
    HGDIOBJ previousFont = SelectObject(dc, window->GetNormalFont());
    SetTextColor(dc, window->GetTextColor());
    RECT rect = {kTextLeft, strip.cy + area.top + 1, area.right - kRightMargin, area.bottom};
    DrawTextW(dc, text.c_str(), -1, &rect, DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, previousFont);
    UpdateMapView(area);
}

void GpsPositionTabPage::UpdateMapView(const RECT& area) {
    if (IsCurrentPage() && mapEnabled && lastRecord.success) {
        if (!mapWindow->IsVisible()) {
            mapWindow->Show(ComputeMapRect(area));
        }
        if (mapWindow->GetUrl() != mapUrl) {
            mapWindow->Navigate(mapUrl);
        }
        return;
    }
    if (mapWindow->IsVisible() && !mapWindow->IsFullScreen()) {
        mapWindow->Hide();
    }
}

RECT GpsPositionTabPage::ComputeMapRect(const RECT& area) const {
    RECT desktop;
    GetClientRect(GetDesktopWindow(), &desktop);
    POINT bottomLeft = {area.left, area.bottom};
    POINT topLeft = {area.left, area.top};
    HWND window = ItemWindow()->GetWindow();
    ClientToScreen(window, &bottomLeft);
    ClientToScreen(window, &topLeft);
    RECT rect;
    if (desktop.bottom - bottomLeft.y >= kMinimumRoomBelow) {
        rect.top = bottomLeft.y;
        rect.bottom = desktop.bottom;
    } else {
        rect.top = desktop.top;
        rect.bottom = topLeft.y;
    }
    rect.left = desktop.left;
    rect.right = desktop.right - desktop.left;
    return rect;
}

void GpsPositionTabPage::OnSelectionChanged() {
    // Also in full screen: the map belongs to this tab.
    if (!IsCurrentPage() && mapWindow->IsVisible()) {
        mapWindow->Hide();
    }
}

void GpsPositionTabPage::OnOwnerDestroyed() {
    mapWindow->Destroy();
}
