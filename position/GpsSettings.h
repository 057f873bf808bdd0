#pragma once

#include <map>
#include <string>

// The web-service and map settings, read from the item's registry key on first use and
// kept until Invalidate. Window thread only.
class GpsSettings {
public:
    explicit GpsSettings(const wchar_t* keyPath = ItemKeyPath);

    // The one instance the library shares.
    static GpsSettings& Instance();

    std::wstring GetAppEmail();
    std::wstring GetAppKey();
    std::wstring GetServiceUrl();
    std::wstring GetMapUrl();
    bool GetAutoMapAfterStart();
    // False when the code has no message.
    bool GetErrorMessage(int code, std::wstring& message);
    void Invalidate() { loaded = false; }

    static const wchar_t* const ItemKeyPath;
    // The phone's own failures: no connection, bad reply, hashing.
    static const int ClientError = -1000;

private:
    void EnsureLoaded();

    std::wstring keyPath;
    std::wstring appEmail;
    std::wstring appKey;
    std::wstring serviceUrl;
    std::wstring mapUrl;
    bool autoMapAfterStart = false;
    bool loaded = false;
    std::map<int, std::wstring> errorMessages;
};
