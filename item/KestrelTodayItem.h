#pragma once

#include <windows.h>

#include <string>

#include "CSVReader.h"
#include "CTodayWindow.h"
#include "CVORegistry.h"
#include "CellInfo.h"
#include "ReadWriteLock.h"
#include "RilFileSubscriber.h"
#include "RilSubscriber.h"
#include "RilTodayTabControl.h"
#include "resource.h"

// Posted to the item window by the mailbox; wParam names the kind of radio data.
#define WM_RILUPDATE (WM_USER + 2)

// The Kestrel item on the Today screen: settings, polling timer, tap-and-hold menu and the
// radio data, which always reaches it on the window thread through its mailbox.
class KestrelTodayItem : public CTodayWindow, public RilSubscriber {
public:
    // Receives radio data on the radio layer's thread, keeps the latest value of each kind
    // and posts WM_RILUPDATE; the window thread then hands the value to the item.
    class SynchronizedRilSubscriber : public RilSubscriber {
    public:
        explicit SynchronizedRilSubscriber(KestrelTodayItem* owner);

        void OnCellInfo(CellInfo cell) override;
        void OnSignalQuality(int minimum, int maximum, int current) override;
        void OnNetworkId(std::wstring id) override;
        void OnRadioOn() override;
        void OnRadioOff() override;
        void OnError(std::wstring text) override;

        // Window thread: re-delivers the parked value of the kind in wParam.
        void OnRilUpdate(UINT message, WPARAM wParam, LPARAM lParam);

    private:
        // Called with the owner's lock held exclusively, so the data is in place first.
        void Post(WPARAM kind);

        KestrelTodayItem* owner;
        std::wstring networkId;
        std::wstring errorText;
        bool radioOn = false;
        CellInfo cellInfo;
        int signalMin = 0;
        int signalMax = 0;
        int signalCurrent = 0;
    };

    explicit KestrelTodayItem(HINSTANCE instance);
    ~KestrelTodayItem() override;

    LRESULT OnCreate(LPCREATESTRUCTW createStruct) override;
    void OnDestroy() override;
    void PaintItem(HDC memoryDC) override;
    LRESULT OnClearCache(WPARAM wParam) override;
    void OnLButtonDown(UINT keys, int x, int y) override;
    LRESULT OnDefaultMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnReceivedSelection(WPARAM key) override;
    LRESULT OnUserNavigation(WPARAM key) override;
    void OnAction(WPARAM wParam) override;
    void OnLostSelection() override;

    void OnCellInfo(CellInfo cell) override;
    void OnSignalQuality(int minimum, int maximum, int current) override;
    void OnNetworkId(std::wstring id) override;
    void OnRadioOn() override;
    void OnRadioOff() override;
    void OnError(std::wstring text) override;

    void ReloadSettings();
    void ToggleMonitoring();
    // Runs a menu command; false for ids without a case.
    bool OnCommand(UINT id);
    // The tap-and-hold menu with its check marks set to the current states.
    HMENU PrepareContextMenu();

    bool IsMonitoring() const { return monitoring; }
    RilFileSubscriber& GetLogWriter() { return *logWriter; }
    RilTodayTabControl& GetTabControl() { return tabControl; }
    const CellInfo& GetLastCell() const { return lastCell; }
    const std::wstring& GetNetworkId() const { return networkId; }
    SynchronizedRilSubscriber& GetMailbox() { return mailbox; }
    const CSVReader& GetBtsReader() const { return btsReader; }

private:
    bool IsInfoPageVisible();
    void Resubscribe();
    void StartTimer();

    SynchronizedRilSubscriber mailbox;
    ReadWriteLock lock;
    bool noData = true;
    bool monitoring = false;
    bool resubscribePending = false;
    SYSTEMTIME lastUpdate = {};
    CellInfo lastCell;
    std::wstring networkId;
    std::wstring errorText;
    HMENU contextMenu = nullptr;
    RilFileSubscriber* logWriter;
    RilTodayTabControl tabControl;
    CVORegistry registry;
    CSVReader btsReader;
};
