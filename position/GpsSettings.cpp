#include "GpsSettings.h"

#include "CVORegistry.h"

const wchar_t* const GpsSettings::ItemKeyPath = L"\\Software\\Microsoft\\Today\\Items\\Kestrel";

GpsSettings::GpsSettings(const wchar_t* keyPath) : keyPath(keyPath) {}

namespace {

// Made when the library is loaded and gone when it is unloaded: a static inside a function
// would be guarded by a lock of the C++ runtime that no unload frees.
GpsSettings settings;

} // namespace

GpsSettings& GpsSettings::Instance() {
    return settings;
}

void GpsSettings::EnsureLoaded() {
    if (loaded) {
        return;
    }
    CVORegistry registry(HKEY_LOCAL_MACHINE, keyPath.c_str(), TRUE);
    appEmail = registry.GetStringValue(L"AppEmail", L"").c_str();
    appKey = registry.GetStringValue(L"AppKey", L"").c_str();
    serviceUrl = registry.GetStringValue(L"WSUrl", L"").c_str();
    mapUrl = registry.GetStringValue(L"MapUrl", L"").c_str();
    autoMapAfterStart = registry.GetDWORDValue(L"AutoMapAfterStart", 0) != 0;

    errorMessages.clear();
    errorMessages[1] = L"Neplatný přístupový kód";
    errorMessages[2] = L"Chybně formátovaný požadavek";
    errorMessages[3] = L"Překročen maximální počet požadavků na službu za den";
    errorMessages[4] = L"Chyba při ověřování uživatele";
    errorMessages[1000] = L"Chyba na serveru";
    errorMessages[1001] = L"Informace o buňce nenalezeny";
    errorMessages[ClientError] = L"Klient - chyba při odesílání / zpracování";
    loaded = true;
}

std::wstring GpsSettings::GetAppEmail() {
    EnsureLoaded();
    return appEmail;
}

std::wstring GpsSettings::GetAppKey() {
    EnsureLoaded();
    return appKey;
}

std::wstring GpsSettings::GetServiceUrl() {
    EnsureLoaded();
    return serviceUrl;
}

std::wstring GpsSettings::GetMapUrl() {
    EnsureLoaded();
    return mapUrl;
}

bool GpsSettings::GetAutoMapAfterStart() {
    EnsureLoaded();
    return autoMapAfterStart;
}

bool GpsSettings::GetErrorMessage(int code, std::wstring& message) {
    EnsureLoaded();
    auto it = errorMessages.find(code);
    if (it == errorMessages.end()) {
        return false;
    }
    message = it->second;
    return true;
}
