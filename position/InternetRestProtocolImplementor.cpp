#include "InternetRestProtocolImplementor.h"

#include <stdexcept>

#include <wininet.h>

const wchar_t* const KestrelUserAgent = L"GSM .Kestrel";

namespace {

const char kDownloadError[] = "Download form url error";

// Closes the WinInet handles however the exchange is left.
class Handles {
public:
    ~Handles() {
        for (HINTERNET handle : {request, connection, internet}) {
            if (handle) {
                InternetCloseHandle(handle);
            }
        }
    }
    HINTERNET internet = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
};

void SetTimeouts(HINTERNET handle, DWORD milliseconds) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(handle, option, &milliseconds, sizeof(milliseconds));
    }
}

// The request of a GET of the URL, sent; null on failure. The URL is opened in its parts, as
// InternetOpenUrlW would, so that the time limits can be set on the request itself before it
// goes out (a limit set on the session alone does not reach every WinInet's requests).
HINTERNET SendGet(Handles& handles, const std::wstring& url, DWORD timeout) {
    wchar_t host[256] = L"";
    std::wstring path(url.size() + 1, L'\0');
    std::wstring extra(url.size() + 1, L'\0');
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = &path[0];
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = &extra[0];
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        return nullptr;
    }
    handles.connection = InternetConnectW(handles.internet, host, parts.nPort, nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 0);
    if (!handles.connection) {
        return nullptr;
    }
    SetTimeouts(handles.connection, timeout);
    DWORD flags = INTERNET_FLAG_RELOAD;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
        flags |= INTERNET_FLAG_SECURE;
    }
    const std::wstring object = std::wstring(path.c_str()) + extra.c_str();
    handles.request = HttpOpenRequestW(handles.connection, L"GET", object.c_str(), nullptr, nullptr,
                                       nullptr, flags, 0);
    if (!handles.request) {
        return nullptr;
    }
    SetTimeouts(handles.request, timeout);
    return HttpSendRequestW(handles.request, nullptr, 0, nullptr, 0) ? handles.request : nullptr;
}

} // namespace

std::string InternetRestProtocolImplementor::GetResource(const std::wstring& url) {
    Connect(url.c_str(), FALSE);
    if (GetConnectionState() != StateConnected) {
        throw std::runtime_error(kDownloadError);
    }
    Handles handles;
    handles.internet = IsProxyFound() ? InternetOpenW(KestrelUserAgent, INTERNET_OPEN_TYPE_PROXY,
                                                      GetProxyServer(), nullptr, 0)
                                      : InternetOpenW(KestrelUserAgent, INTERNET_OPEN_TYPE_DIRECT,
                                                      nullptr, nullptr, 0);
    if (!handles.internet) {
        throw std::runtime_error(kDownloadError);
    }
    SetTimeouts(handles.internet, operationTimeout);
    const DWORD start = GetTickCount();
    HINTERNET request = SendGet(handles, url, operationTimeout);
    // No copy of the reply stays in the cache, whether or not the URL could be opened.
    DeleteUrlCacheEntryW(url.c_str());
    if (!request) {
        throw std::runtime_error(kDownloadError);
    }
    // Only what has arrived is read, so the deadline is looked at between two pieces however
    // slowly they come.
    std::string body;
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0) || available == 0) {
            break;
        }
        DWORD read = 0;
        DWORD wanted = available < sizeof(buffer) ? available : sizeof(buffer);
        if (!InternetReadFile(request, buffer, wanted, &read) || read == 0) {
            break;
        }
        body.append(buffer, read);
        if (body.size() > MaxBodyBytes || GetTickCount() - start > bodyDeadline) {
            throw std::runtime_error(kDownloadError);
        }
    }
    return body;
}
