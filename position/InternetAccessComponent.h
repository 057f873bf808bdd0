#pragma once

#include <atomic>
#include <string>

#include <urlmon.h>

#include "CConnection.h"

// A blocking connection: Connect waits up to 20 s until the connection is up or has failed.
class InternetAccessComponent : public CConnection {
public:
    enum { StatePending = -1, StateFailed = 0, StateConnected = 1 };

    InternetAccessComponent() = default;
    ~InternetAccessComponent() override;

    // The result is that of starting only; go on when GetConnectionState() gives 1.
    HRESULT Connect(const wchar_t* url, BOOL proxy) override;
    HRESULT OnConnectionFailed() override;
    HRESULT OnConnected() override;
    virtual void Disconnect();

    int GetConnectionState() const { return connectionState; }
    // True exactly when URLDownloadToFileW returns S_OK. Neither connects nor checks the state.
    bool DownloadToFile(const std::wstring& url, const std::wstring& path,
                        IBindStatusCallback* callback);

private:
    // Written by the watch thread, polled by the caller.
    std::atomic<int> connectionState{StatePending};
};
