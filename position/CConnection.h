#pragma once

#include <windows.h>

#include "connmgr.h"
#include "connmgr_proxy.h"

// Asks the Connection Manager for a connection to the network serving a URL and watches it
// on a thread of its own; each status change goes to the overridable handlers below, which
// run on the watch thread and must not block. Their HRESULT: 0 lets the watch go on,
// anything else ends it.
class CConnection {
public:
    CConnection();
    virtual ~CConnection();

    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    // Starts bringing the connection up and returns at once. A null url reuses the last one.
    virtual HRESULT Connect(const wchar_t* url, BOOL proxy);
    virtual HRESULT OnStatusChanged(DWORD status);
    virtual HRESULT OnConnectionRequested();
    virtual HRESULT OnConnectionFailed();
    virtual HRESULT OnConnected();
    virtual HRESULT OnDisconnected();
    virtual HRESULT OnWaiting();
    virtual HRESULT OnWatchEnded();

    BOOL IsProxyFound() const { return proxyFound; }
    const wchar_t* GetProxyServer() const { return proxyConfig.szProxyServer; }
    const wchar_t* GetUrl() const { return url; }
    DWORD GetLastStatus() const { return lastStatus; }

protected:
    BOOL QueryProxy(HANDLE connection);
    // Tells the watch thread to stop, waits for it at most timeoutMs and forgets it. A thread
    // that has not ended by then finishes on its own and calls no handler of this object again.
    void StopWatch(DWORD timeoutMs);

    // How long a stop waits for the watch thread.
    static const DWORD StopWaitMs = 3000;

    HANDLE connection = nullptr;

private:
    struct WatchState;

    HRESULT MapDestination(const wchar_t* newUrl);
    static DWORD WINAPI WatchConnection(LPVOID param);
    static void ReleaseWatch(WatchState* state);
    void ReportConnectionError();

    wchar_t* url = nullptr;
    BOOL proxy = FALSE;
    LONG releaseCacheHint = 0;
    GUID destinationNetwork = {};
    DWORD lastStatus = 0;
    WatchState* watch = nullptr;
    HANDLE watchThread = nullptr;
    BOOL proxyFound = FALSE;
    PROXY_CONFIG proxyConfig = {};
};
