#pragma once

#include <string>

#include "AsyncRequestBase.h"
#include "CellInfo.h"
#include "GpsPositionRecord.h"
#include "WcfGpsPositionService.h"

// One question to the cell-position service, asked on the request's own thread. Everything it
// needs is copied in on the window thread, so the thread never reads the settings.
template <class T> class AsyncGpsRequest : public AsyncRequestBase<T> {
public:
    AsyncGpsRequest(T* target, const CellInfo& cell, const std::wstring& networkCode,
                    const std::wstring& keyName, const std::wstring& accessCode,
                    const std::wstring& serviceUrl)
        : AsyncRequestBase<T>(target), cell(cell), networkCode(networkCode), keyName(keyName),
          accessCode(accessCode), serviceUrl(serviceUrl) {}

    void Execute() override {
        WcfGpsPositionService service;
        service.SetAppEmail(keyName);
        service.SetAppKey(accessCode);
        service.SetServiceUrl(serviceUrl);
        service.GetPosition(cell, networkCode, result);
        success = ErrorCodeNumber(result.errorCode, -1) == 0;
    }
    ~AsyncGpsRequest() override = default;

    // Read only once IsDone() is true.
    const CellInfo& GetCell() const { return cell; }
    const GpsPositionResult& GetResult() const { return result; }
    bool IsSuccessful() const { return success; }

private:
    CellInfo cell;
    std::wstring networkCode;
    std::wstring keyName;
    std::wstring accessCode;
    GpsPositionResult result;
    std::wstring serviceUrl;
    bool success = false;
};
