// The Connection Manager stand-in. Each connection plays a list of statuses on a thread of
// its own and signals the connection handle (an auto-reset event) at every change. The next
// status follows only after the caller has read the previous one, so a scripted list is
// seen whole, in order, whatever the timing.

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "RuntimePool.h"
#include "connmgr.h"
#include "connmgr_proxy.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\KestrelDevice\\ConnMgr";

// {436EF144-B4FB-4863-A041-8F905A62C572}: the Internet destination network.
const GUID kInternetNetwork = {
    0x436EF144, 0xB4FB, 0x4863, {0xA0, 0x41, 0x8F, 0x90, 0x5A, 0x62, 0xC5, 0x72}};

struct Settings {
    DWORD connectDelayMs = 300;
    DWORD failStatus = 0;
    DWORD disconnectAfterMs = 0;
    DWORD neverAnswer = 0;
    std::wstring statuses;
    std::wstring proxyServer;
    DWORD proxyType = CONNMGR_FLAG_PROXY_HTTP;
    DWORD mapUrlResult = 0;
    DWORD establishResult = 0;
    DWORD establishBlockMs = 0;
    std::wstring logFile;
};

// KESTREL_CONNMGR_<NAME> in the environment wins over the registry value.
bool ReadSetting(const wchar_t* name, std::wstring& value) {
    std::wstring variable = L"KESTREL_CONNMGR_";
    for (const wchar_t* p = name; *p; ++p) {
        variable += static_cast<wchar_t>(towupper(*p));
    }
    wchar_t buffer[512];
    DWORD n = GetEnvironmentVariableW(variable.c_str(), buffer, 512);
    if (n > 0 && n < 512) {
        value.assign(buffer, n);
        return true;
    }
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    BYTE data[1024];
    DWORD size = sizeof(data) - sizeof(wchar_t);
    bool found = RegQueryValueExW(key, name, nullptr, &type, data, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!found) {
        return false;
    }
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number;
        memcpy(&number, data, sizeof(number));
        value = std::to_wstring(number);
    } else {
        value.assign(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
        value = value.c_str();
    }
    return true;
}

void ReadNumber(const wchar_t* name, DWORD& number) {
    std::wstring text;
    if (ReadSetting(name, text) && !text.empty()) {
        number = wcstoul(text.c_str(), nullptr, 0);
    }
}

Settings LoadSettings() {
    Settings s;
    ReadNumber(L"ConnectDelayMs", s.connectDelayMs);
    ReadNumber(L"FailStatus", s.failStatus);
    ReadNumber(L"DisconnectAfterMs", s.disconnectAfterMs);
    ReadNumber(L"NeverAnswer", s.neverAnswer);
    ReadSetting(L"Statuses", s.statuses);
    ReadSetting(L"ProxyServer", s.proxyServer);
    ReadNumber(L"ProxyType", s.proxyType);
    ReadNumber(L"MapUrlResult", s.mapUrlResult);
    ReadNumber(L"EstablishResult", s.establishResult);
    ReadNumber(L"EstablishBlockMs", s.establishBlockMs);
    ReadSetting(L"LogFile", s.logFile);
    return s;
}

CRITICAL_SECTION g_logLock;

void Log(const Settings& settings, const char* format, ...) {
    if (settings.logFile.empty()) {
        return;
    }
    char line[600];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof(line) - 2, format, args);
    va_end(args);
    if (n < 0) {
        return;
    }
    if (n > static_cast<int>(sizeof(line)) - 3) {
        n = sizeof(line) - 3;
    }
    line[n++] = '\r';
    line[n++] = '\n';
    // Connections log from their own threads: one writer at a time, no line lost.
    EnterCriticalSection(&g_logLock);
    HANDLE file =
        CreateFileW(settings.logFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, line, n, &written, nullptr);
        CloseHandle(file);
    }
    LeaveCriticalSection(&g_logLock);
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c < 128 ? static_cast<char>(c) : '?';
    }
    return out;
}

struct Step {
    DWORD delayMs;
    DWORD status;
};

struct Connection {
    Settings settings;
    std::vector<Step> steps;
    HANDLE changed = nullptr; // the handle the caller waits on
    HANDLE read = nullptr;    // set when the caller has read the status
    HANDLE quit = nullptr;
    HANDLE thread = nullptr;
    volatile LONG status = CONNMGR_STATUS_UNKNOWN;
};

CRITICAL_SECTION g_lock;
std::map<HANDLE, Connection*>* g_connections;

std::vector<Step> BuildSteps(const Settings& s) {
    std::vector<Step> steps;
    if (!s.statuses.empty()) {
        DWORD delay = s.connectDelayMs;
        const wchar_t* p = s.statuses.c_str();
        while (*p) {
            wchar_t* next = nullptr;
            DWORD status = wcstoul(p, &next, 0);
            if (next == p) {
                ++p;
                continue;
            }
            steps.push_back({delay, status});
            delay = 0;
            p = next;
        }
        return steps;
    }
    steps.push_back({0, CONNMGR_STATUS_WAITINGCONNECTION});
    if (s.neverAnswer) {
        return steps;
    }
    if (s.failStatus) {
        steps.push_back({s.connectDelayMs, s.failStatus});
        return steps;
    }
    steps.push_back({s.connectDelayMs, CONNMGR_STATUS_CONNECTED});
    if (s.disconnectAfterMs) {
        steps.push_back({s.disconnectAfterMs, CONNMGR_STATUS_DISCONNECTED});
    }
    return steps;
}

DWORD WINAPI PlayStatuses(LPVOID param) {
    Connection* c = static_cast<Connection*>(param);
    for (const Step& step : c->steps) {
        if (WaitForSingleObject(c->quit, step.delayMs) == WAIT_OBJECT_0) {
            return 0;
        }
        ResetEvent(c->read);
        InterlockedExchange(&c->status, step.status);
        Log(c->settings, "Status 0x%lx", step.status);
        SetEvent(c->changed);
        HANDLE handles[2] = {c->quit, c->read};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0) {
            return 0;
        }
    }
    return 0;
}

Connection* Find(HANDLE handle) {
    EnterCriticalSection(&g_lock);
    auto it = g_connections->find(handle);
    Connection* c = it == g_connections->end() ? nullptr : it->second;
    LeaveCriticalSection(&g_lock);
    return c;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&g_lock);
        InitializeCriticalSection(&g_logLock);
        g_connections = new std::map<HANDLE, Connection*>();
    } else if (reason == DLL_PROCESS_DETACH) {
        delete g_connections;
        DeleteCriticalSection(&g_lock);
        DeleteCriticalSection(&g_logLock);
        RuntimePool::ReleaseOnUnload(reserved);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI ConnMgrMapURL(LPCWSTR pwszURL, GUID* pguid, DWORD* pdwIndex) {
    Settings settings = LoadSettings();
    Log(settings, "MapURL %s", pwszURL ? Narrow(pwszURL).c_str() : "(null)");
    if (!pwszURL || !pguid) {
        return E_INVALIDARG;
    }
    if (settings.mapUrlResult) {
        return static_cast<HRESULT>(settings.mapUrlResult);
    }
    *pguid = kInternetNetwork;
    if (pdwIndex) {
        *pdwIndex = 0;
    }
    return S_OK;
}

extern "C" HRESULT WINAPI ConnMgrEstablishConnection(CONNMGR_CONNECTIONINFO* info,
                                                     HANDLE* phConnection) {
    Settings settings = LoadSettings();
    if (!info || !phConnection || info->cbSize != sizeof(CONNMGR_CONNECTIONINFO)) {
        return E_INVALIDARG;
    }
    Log(settings, "Establish params=0x%lx flags=0x%lx priority=0x%lx", info->dwParams,
        info->dwFlags, info->dwPriority);
    if (settings.establishBlockMs) {
        // A driver that holds the caller: the request is logged again once it returns.
        Sleep(settings.establishBlockMs);
        Log(settings, "Establish returns");
    }
    if (settings.establishResult) {
        return static_cast<HRESULT>(settings.establishResult);
    }
    Connection* c = new Connection;
    c->settings = settings;
    c->steps = BuildSteps(settings);
    c->changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    c->read = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    c->quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    c->thread = CreateThread(nullptr, 0, PlayStatuses, c, 0, nullptr);
    if (!c->changed || !c->read || !c->quit || !c->thread) {
        if (c->thread) {
            SetEvent(c->quit);
            WaitForSingleObject(c->thread, INFINITE);
            CloseHandle(c->thread);
        }
        for (HANDLE h : {c->changed, c->read, c->quit}) {
            if (h) {
                CloseHandle(h);
            }
        }
        delete c;
        return E_OUTOFMEMORY;
    }
    EnterCriticalSection(&g_lock);
    (*g_connections)[c->changed] = c;
    LeaveCriticalSection(&g_lock);
    *phConnection = c->changed;
    return S_OK;
}

extern "C" HRESULT WINAPI ConnMgrConnectionStatus(HANDLE hConnection, DWORD* pdwStatus) {
    Connection* c = Find(hConnection);
    if (!c || !pdwStatus) {
        return E_INVALIDARG;
    }
    *pdwStatus = static_cast<DWORD>(InterlockedCompareExchange(&c->status, 0, 0));
    SetEvent(c->read);
    return S_OK;
}

extern "C" HRESULT WINAPI ConnMgrReleaseConnection(HANDLE hConnection, LONG lCache) {
    EnterCriticalSection(&g_lock);
    auto it = g_connections->find(hConnection);
    Connection* c = nullptr;
    if (it != g_connections->end()) {
        c = it->second;
        g_connections->erase(it);
    }
    LeaveCriticalSection(&g_lock);
    if (!c) {
        return E_INVALIDARG;
    }
    Log(c->settings, "Release cache=%ld", lCache);
    SetEvent(c->quit);
    WaitForSingleObject(c->thread, INFINITE);
    CloseHandle(c->thread);
    CloseHandle(c->changed);
    CloseHandle(c->read);
    CloseHandle(c->quit);
    delete c;
    return S_OK;
}

extern "C" HRESULT WINAPI ConnMgrProviderMessage(HANDLE hConnection, const GUID* pguidProvider,
                                                 DWORD*, DWORD, DWORD, PBYTE pParams,
                                                 ULONG cbParamSize) {
    Connection* c = Find(hConnection);
    if (!c || !pguidProvider || !pParams) {
        return E_INVALIDARG;
    }
    if (!IsEqualGUID(*pguidProvider, IID_ConnPrv_IProxyExtension) ||
        cbParamSize < sizeof(PROXY_CONFIG)) {
        return E_NOTIMPL;
    }
    if (c->settings.proxyServer.empty()) {
        Log(c->settings, "Proxy none");
        return E_FAIL;
    }
    PROXY_CONFIG* config = reinterpret_cast<PROXY_CONFIG*>(pParams);
    config->dwType = c->settings.proxyType;
    config->dwEnable = TRUE;
    wcsncpy(config->szProxyServer, c->settings.proxyServer.c_str(), CMPROXY_PROXYSERVER_LENGTH - 1);
    config->szProxyServer[CMPROXY_PROXYSERVER_LENGTH - 1] = L'\0';
    wcscpy(config->szUsername, L"device");
    wcscpy(config->szPassword, L"secret");
    Log(c->settings, "Proxy %s type=%lu", Narrow(c->settings.proxyServer).c_str(),
        c->settings.proxyType);
    return S_OK;
}
