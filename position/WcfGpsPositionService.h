#pragma once

#include <string>

#include "IGpsPositionService.h"

// Asks the REST cell-position service. One object serves one request.
class WcfGpsPositionService : public IGpsPositionService {
public:
    WcfGpsPositionService();
    ~WcfGpsPositionService() override = default;

    void GetPosition(const CellInfo& cell, const std::wstring& networkCode,
                     GpsPositionResult& result) override;
    virtual std::wstring GetAppKey() { return appKey; }
    virtual void SetAppKey(const std::wstring& value) { appKey = value; }
    virtual std::wstring GetServiceUrl() { return serviceUrl; }
    virtual void SetServiceUrl(const std::wstring& value) { serviceUrl = value; }
    virtual std::wstring GetAppEmail() { return appEmail; }
    virtual void SetAppEmail(const std::wstring& value) { appEmail = value; }

    static const wchar_t* const DefaultServiceUrl;

    // Replaces the first occurrence of each placeholder; absent ones are skipped.
    static std::wstring BuildRequestUrl(std::wstring url, const std::wstring& hash,
                                        const std::wstring& appName,
                                        const std::wstring& networkCode, const std::wstring& lac,
                                        const std::wstring& cellId);
    // Fills result from the reply; false when the reply cannot be read.
    static bool ParseReply(const std::string& reply, GpsPositionResult& result);
    // The request hash of access code + cell id, 22 characters. Throws std::range_error
    // for 1000 UTF-8 bytes or more, std::runtime_error when no digest could be made.
    static std::wstring RequestHash(const std::wstring& appKey, const std::wstring& cellId);

private:
    std::wstring appKey;
    std::wstring serviceUrl;
    std::wstring appEmail;
};
