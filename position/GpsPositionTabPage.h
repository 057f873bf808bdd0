#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "AsyncGpsRequest.h"
#include "CTodayHtmlWindow.h"
#include "CellInfo.h"
#include "GpsPositionRecord.h"
#include "ReadWriteLock.h"
#include "TabPage.h"

class CTodayWindow;

// Posted to the item window when a position request has finished.
#define WM_GPSREQUESTDONE (WM_USER + 1)

// The "GPS data" page: asks the cell-position service for every new serving cell on a thread
// of its own, shows the answer as text and, with the map switched on, the map of the position
// in the HTML window next to the item. At most one request runs; a cell that arrives during
// it is asked for when it ends. Window thread only, except the request's own thread.
class GpsPositionTabPage : public TabPage {
public:
    // Where finished requests report: the item window, guarded by a lock because the request
    // threads post to it while the page may be going away. One instance for the library.
    class NotifyAsyncRequestDone {
    public:
        static NotifyAsyncRequestDone& Instance();

        void SetWindow(CTodayWindow* itemWindow);
        // Request thread: posts WM_GPSREQUESTDONE to the window, if one is set.
        void Notify();

    private:
        NotifyAsyncRequestDone() = default;
        // Made when the library is loaded, gone when it is unloaded: a static inside a
        // function would be guarded by a lock of the C++ runtime that no unload frees.
        static NotifyAsyncRequestDone instance;

        CTodayWindow* window = nullptr;
        ReadWriteLock lock;
    };

    typedef AsyncGpsRequest<NotifyAsyncRequestDone> Request;

    GpsPositionTabPage(int order, const wchar_t* title, TodayTabControl* owner);
    ~GpsPositionTabPage() override;

    void Paint(HDC dc, SIZE strip, RECT area) override;
    void OnSelectionChanged() override;
    void OnOwnerDestroyed() override;

    void SetNetworkCode(const std::wstring& code);
    void SetCell(const CellInfo& cell);
    void SetRequestsEnabled(bool enabled);
    void SetMapEnabled(bool enabled);
    bool IsMapEnabled() const { return mapEnabled; }
    bool AreRequestsEnabled() const { return requestsEnabled; }
    // Handler of WM_GPSREQUESTDONE.
    void OnRequestDone();
    // The owner has a new window (the Today screen loaded the item again while its library
    // stayed): a request that ended meanwhile told the window that went, so it is taken now.
    void OnOwnerCreated();

    // The text Paint draws.
    std::wstring ComposeText() const;
    // Screen rectangle of the map: the screen's width, below the area when at least 50
    // pixels remain there, else above it.
    RECT ComputeMapRect(const RECT& area) const;

    const std::wstring& GetStatusText() const { return statusText; }
    const std::wstring& GetMapUrl() const { return mapUrl; }
    const GpsPositionRecord& GetLastRecord() const { return lastRecord; }
    const CellInfo& GetRequestedCell() const { return requestedCell; }
    bool IsRequestInFlight() const { return requestInFlight; }
    CTodayHtmlWindow& GetMapWindow() { return *mapWindow; }

private:
    void SendRequest();
    void SetStatusText(const std::wstring& text);
    void FillMapUrl();
    void UpdateMapView(const RECT& area);
    bool IsCurrentPage() const;
    CTodayWindow* ItemWindow() const;

    bool cellSeen = false;
    Request* pendingRequest = nullptr;
    std::wstring statusText;
    CellInfo currentCell;
    CellInfo requestedCell;
    std::wstring networkCode;
    GpsPositionRecord lastRecord;
    bool requestInFlight = false;
    bool requestsEnabled = false;
    bool mapEnabled = false;
    std::unique_ptr<CTodayHtmlWindow> mapWindow;
    std::wstring mapUrl;
};
