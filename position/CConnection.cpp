#include "CConnection.h"

#include <cwchar>
#include <new>

#ifdef UNDER_CE
#include <shellapi.h>
#else
#include "shellexec.h"
#endif

#include "LibraryThread.h"

// What the watch thread shares with its connection object. A stop waits for the thread only
// so long; the thread then goes on without the object, so neither frees this alone: the one
// that lets go last does.
struct CConnection::WatchState {
    LONG references = 2;
    HANDLE stopEvent = nullptr;
    // Held while the thread calls the object, so the object can leave between two calls.
    CRITICAL_SECTION guard;
    CConnection* owner = nullptr;
    CONNMGR_CONNECTIONINFO info = {};
};

CConnection::CConnection() = default;

CConnection::~CConnection() {
    // The watch thread calls into this object: after the stop it no longer does.
    StopWatch(StopWaitMs);
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
    if (FAILED(hr)) {
        return hr;
    }
    StopWatch(StopWaitMs);
    WatchState* state = new (std::nothrow) WatchState;
    if (!state) {
        return E_OUTOFMEMORY;
    }
    state->stopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!state->stopEvent) {
        delete state;
        return E_FAIL;
    }
    InitializeCriticalSection(&state->guard);
    state->owner = this;
    state->info.cbSize = sizeof(state->info);
    state->info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
    state->info.dwFlags = proxy ? CONNMGR_FLAG_PROXY_HTTP : 0;
    state->info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
    state->info.guidDestNet = destinationNetwork;
    watchThread = LibraryThread::Start(WatchConnection, state);
    if (!watchThread) {
        state->references = 1;
        ReleaseWatch(state);
        return E_FAIL;
    }
    watch = state;
    return S_OK;
}

void CConnection::StopWatch(DWORD timeoutMs) {
    if (!watch) {
        return;
    }
    SetEvent(watch->stopEvent);
    WaitForSingleObject(watchThread, timeoutMs);
    EnterCriticalSection(&watch->guard);
    watch->owner = nullptr;
    LeaveCriticalSection(&watch->guard);
    CloseHandle(watchThread);
    watchThread = nullptr;
    ReleaseWatch(watch);
    watch = nullptr;
}

void CConnection::ReleaseWatch(WatchState* state) {
    if (InterlockedDecrement(&state->references) != 0) {
        return;
    }
    DeleteCriticalSection(&state->guard);
    CloseHandle(state->stopEvent);
    delete state;
}

// The watch thread. The Connection Manager is called without the guard, so a stop never
// waits for it; the object is called only under the guard and only while it still watches.
DWORD WINAPI CConnection::WatchConnection(LPVOID param) {
    WatchState* state = static_cast<WatchState*>(param);
    HANDLE handle = nullptr;
    HRESULT hr = ConnMgrEstablishConnection(&state->info, &handle);
    if (FAILED(hr)) {
        handle = nullptr;
    }
    DWORD lastStatus = static_cast<DWORD>(hr);
    bool watching = false;
    EnterCriticalSection(&state->guard);
    if (CConnection* self = state->owner) {
        if (FAILED(hr)) {
            self->connection = nullptr;
            // The report carries the refusal's code: there is no status to show.
            self->lastStatus = lastStatus;
            self->OnConnectionFailed();
            self->releaseCacheHint = 0;
        } else {
            self->connection = handle;
            self->OnConnectionRequested();
            watching = true;
        }
    }
    LeaveCriticalSection(&state->guard);

    while (watching) {
        HANDLE handles[2] = {handle, state->stopEvent};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
            break;
        }
        DWORD status = 0;
        hr = ConnMgrConnectionStatus(handle, &status);
        lastStatus = FAILED(hr) ? static_cast<DWORD>(hr) : status;
        EnterCriticalSection(&state->guard);
        CConnection* self = state->owner;
        if (self) {
            self->lastStatus = lastStatus;
            watching = SUCCEEDED(hr) && self->OnStatusChanged(status) == 0;
        } else {
            watching = false;
        }
        LeaveCriticalSection(&state->guard);
    }

    LONG cacheHint = 0;
    EnterCriticalSection(&state->guard);
    if (CConnection* self = state->owner) {
        self->OnWatchEnded();
        cacheHint = self->releaseCacheHint;
        self->connection = nullptr;
    }
    LeaveCriticalSection(&state->guard);
    if (handle) {
        ConnMgrReleaseConnection(handle, cacheHint);
    }
    ReleaseWatch(state);
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
