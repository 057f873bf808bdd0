#include "CConnection.h"

#include <cwchar>
#include <new>

#ifdef UNDER_CE
#include <shellapi.h>
#else
#include "shellexec.h"
#endif

namespace {

const DWORD kStopWaitMs = 3000;

} // namespace

CConnection::CConnection() {
    stopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CConnection::~CConnection() {
    // The watch thread calls into this object: it must be gone before the object is.
    StopWatch(INFINITE);
    if (stopEvent) {
        CloseHandle(stopEvent);
    }
    delete[] url;
}

HRESULT CConnection::MapDestination(const wchar_t* newUrl) {
    if (newUrl) {
        delete[] url;
        size_t length = wcslen(newUrl) + 1;
        url = new (std::nothrow) wchar_t[length];
        if (!url) {
            return E_OUTOFMEMORY;
        }
        wmemcpy(url, newUrl, length);
    }
    if (!url) {
        return E_INVALIDARG;
    }
    return ConnMgrMapURL(url, &destinationNetwork, nullptr);
}

HRESULT CConnection::Connect(const wchar_t* newUrl, BOOL useProxy) {
    HRESULT hr = MapDestination(newUrl);
    proxy = useProxy;
    if (!stopEvent) {
        return E_INVALIDARG;
    }
    if (FAILED(hr)) {
        return hr;
    }
    StopWatch(kStopWaitMs);
    // A stop meant for a watch that had already ended must not end the new one. Cleared
    // here rather than on the watch thread, where a stop arriving first would be lost.
    ResetEvent(stopEvent);
    watchThread = CreateThread(nullptr, 0, WatchConnection, this, 0, nullptr);
    return watchThread ? S_OK : E_FAIL;
}

void CConnection::StopWatch(DWORD timeoutMs) {
    if (!watchThread) {
        return;
    }
    SetEvent(stopEvent);
    WaitForSingleObject(watchThread, timeoutMs);
    CloseHandle(watchThread);
    watchThread = nullptr;
}

DWORD WINAPI CConnection::WatchConnection(LPVOID param) {
    CConnection* self = static_cast<CConnection*>(param);
    return self ? self->Watch() : static_cast<DWORD>(-1);
}

DWORD CConnection::Watch() {
    CONNMGR_CONNECTIONINFO info = {};
    info.cbSize = sizeof(info);
    info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
    info.dwFlags = proxy ? CONNMGR_FLAG_PROXY_HTTP : 0;
    info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
    info.guidDestNet = destinationNetwork;

    HRESULT hr = ConnMgrEstablishConnection(&info, &connection);
    if (FAILED(hr)) {
        connection = nullptr;
        // The report carries the refusal's code: there is no status to show.
        lastStatus = static_cast<DWORD>(hr);
        OnConnectionFailed();
        releaseCacheHint = 0;
    } else {
        OnConnectionRequested();
        for (;;) {
            HANDLE handles[2] = {connection, stopEvent};
            if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
                ResetEvent(stopEvent);
                break;
            }
            DWORD status = 0;
            hr = ConnMgrConnectionStatus(connection, &status);
            if (FAILED(hr)) {
                lastStatus = static_cast<DWORD>(hr);
                break;
            }
            lastStatus = status;
            if (OnStatusChanged(status) != 0) {
                break;
            }
        }
    }
    OnWatchEnded();
    if (connection) {
        ConnMgrReleaseConnection(connection, releaseCacheHint);
        connection = nullptr;
    }
    return lastStatus;
}

HRESULT CConnection::OnStatusChanged(DWORD status) {
    if (status & CONNMGR_STATUS_DISCONNECTED) {
        if (status == CONNMGR_STATUS_DISCONNECTED) {
            HRESULT hr = OnDisconnected();
            releaseCacheHint = 1;
            return hr;
        }
        HRESULT hr = OnConnectionFailed();
        releaseCacheHint = 0;
        return hr;
    }
    if (status == CONNMGR_STATUS_CONNECTED) {
        return OnConnected();
    }
    if (status & CONNMGR_STATUS_WAITINGCONNECTION) {
        return OnWaiting();
    }
    return 0;
}

HRESULT CConnection::OnConnectionRequested() {
    return 0;
}

HRESULT CConnection::OnConnectionFailed() {
    ReportConnectionError();
    return E_FAIL;
}

HRESULT CConnection::OnConnected() {
    QueryProxy(connection);
    return 0;
}

HRESULT CConnection::OnDisconnected() {
    return E_FAIL;
}

HRESULT CConnection::OnWaiting() {
    return 0;
}

HRESULT CConnection::OnWatchEnded() {
    return 0;
}

// Asks the shell to show the platform's own connection-error notification.
void CConnection::ReportConnectionError() {
    wchar_t parameters[64];
    wsprintfW(parameters, L"-CMERROR 0x%x -report", lastStatus);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.lpFile = L":MSREMNET";
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
#ifdef UNDER_CE
    ShellExecuteEx(&info);
#else
    // Desktop shell32 has no ":MSREMNET" handler and would block on an error box.
    KestrelShellExecuteExW(&info);
#endif
}

BOOL CConnection::QueryProxy(HANDLE forConnection) {
    proxyFound = FALSE;
    ZeroMemory(&proxyConfig, sizeof(proxyConfig));
    proxyConfig.dwType = CONNMGR_FLAG_PROXY_HTTP;
    HRESULT hr = ConnMgrProviderMessage(forConnection, &IID_ConnPrv_IProxyExtension, nullptr, 0, 0,
                                        reinterpret_cast<PBYTE>(&proxyConfig), sizeof(proxyConfig));
    if (SUCCEEDED(hr) && proxyConfig.dwType == CONNMGR_FLAG_PROXY_HTTP) {
        proxyFound = TRUE;
        ZeroMemory(proxyConfig.szUsername, sizeof(proxyConfig.szUsername));
        ZeroMemory(proxyConfig.szPassword, sizeof(proxyConfig.szPassword));
    }
    return proxyFound;
}
