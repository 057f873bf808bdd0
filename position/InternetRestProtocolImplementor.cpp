#include "InternetRestProtocolImplementor.h"

#include <stdexcept>

#include <wininet.h>

const wchar_t* const KestrelUserAgent = L"GSM .Kestrel";

namespace {

const char kDownloadError[] = "Download form url error";

} // namespace

std::string InternetRestProtocolImplementor::GetResource(const std::wstring& url) {
    Connect(url.c_str(), FALSE);
    if (GetConnectionState() != StateConnected) {
        throw std::runtime_error(kDownloadError);
    }
    HINTERNET internet = IsProxyFound() ? InternetOpenW(KestrelUserAgent, INTERNET_OPEN_TYPE_PROXY,
                                                        GetProxyServer(), nullptr, 0)
                                        : InternetOpenW(KestrelUserAgent, INTERNET_OPEN_TYPE_DIRECT,
                                                        nullptr, nullptr, 0);
    if (!internet) {
        throw std::runtime_error(kDownloadError);
    }
    HINTERNET request =
        InternetOpenUrlW(internet, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
    // No copy of the reply stays in the cache, whether or not the URL could be opened.
    DeleteUrlCacheEntryW(url.c_str());
    if (!request) {
        InternetCloseHandle(internet);
        throw std::runtime_error(kDownloadError);
    }
    std::string body;
    char buffer[4096];
    DWORD read = 0;
    while (InternetReadFile(request, buffer, sizeof(buffer), &read) && read > 0) {
        body.append(buffer, read);
    }
    InternetCloseHandle(request);
    InternetCloseHandle(internet);
    return body;
}
