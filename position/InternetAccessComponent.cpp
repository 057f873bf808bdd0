#include "InternetAccessComponent.h"

namespace {

const DWORD kConnectWaitMs = 20000;
const DWORD kPollMs = 200;

} // namespace

InternetAccessComponent::~InternetAccessComponent() {
    // Stop before this part of the object goes: the watch thread calls the overrides below.
    StopWatch(StopWaitMs);
}

HRESULT InternetAccessComponent::Connect(const wchar_t* url, BOOL proxy) {
    connectionState = StatePending;
    HRESULT hr = CConnection::Connect(url, proxy);
    DWORD start = GetTickCount();
    while (connectionState == StatePending && GetTickCount() - start <= kConnectWaitMs) {
        Sleep(kPollMs);
    }
    return hr;
}

HRESULT InternetAccessComponent::OnConnectionFailed() {
    connectionState = StateFailed;
    return CConnection::OnConnectionFailed();
}

HRESULT InternetAccessComponent::OnConnected() {
    // The proxy is known before a caller can see the connection up.
    QueryProxy(connection);
    connectionState = StateConnected;
    return 0;
}

void InternetAccessComponent::Disconnect() {
    StopWatch(StopWaitMs);
    // Set once the watch is gone, so a status it was handling cannot overwrite it.
    connectionState = StatePending;
}

bool InternetAccessComponent::DownloadToFile(const std::wstring& url, const std::wstring& path,
                                             IBindStatusCallback* callback) {
    return URLDownloadToFileW(nullptr, url.c_str(), path.c_str(), 0, callback) == S_OK;
}
