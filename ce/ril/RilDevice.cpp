// The radio layer: the scenario player, or a real modem spoken to with AT commands. Each
// command returns an id at once and is answered later, on a thread of the radio instance.

#include <windows.h>

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "ModemDialect.h"
#include "ModemRadio.h"
#include "PortHoldOff.h"
#include "ScenarioRadio.h"
#include "ril.h"
#include "RuntimePool.h"

namespace {

const wchar_t* const SETTINGS_KEY = L"Software\\KestrelDevice\\Ril";
const wchar_t* const DEFAULT_ERROR_LOG = L"\\ril-errors.txt";

std::mutex instancesMutex;
std::set<RadioBackend*> instances;
// Failed opens per scenario path and contents, for "init fail <count>".
std::map<std::pair<std::wstring, std::string>, DWORD> failedOpens;
std::mutex holdOffMutex;
PortHoldOff holdOff;

std::wstring Setting(const wchar_t* environment, const wchar_t* value) {
    wchar_t text[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(environment, text, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        return text;
    }
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, SETTINGS_KEY, value, RRF_RT_REG_SZ, nullptr, text,
                     &size) == ERROR_SUCCESS) {
        return text;
    }
    return std::wstring();
}

// Scenario and modem errors go to the debugger and to a file, so that they are easy to find.
void ReportError(const std::wstring& error) {
    std::wstring message = L"ril.dll: " + error + L"\n";
    OutputDebugStringW(message.c_str());
    std::wstring path = Setting(L"KESTREL_RIL_ERRORLOG", L"ErrorLog");
    if (path.empty()) {
        path = DEFAULT_ERROR_LOG;
    }
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, message.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, message.c_str(), -1, &utf8[0], size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size() - 1), &written, nullptr);
    CloseHandle(file);
}

// The scenario's own mode gives way to the settings.
void ApplyModeSettings(Scenario& scenario) {
    std::wstring mode = Setting(L"KESTREL_RIL_MODE", L"Mode");
    if (mode == L"cycle") {
        scenario.timed = false;
    } else if (mode == L"time") {
        scenario.timed = true;
    }
    std::wstring stepMs = Setting(L"KESTREL_RIL_STEP_MS", L"StepMs");
    DWORD period = wcstoul(stepMs.c_str(), nullptr, 10);
    if (period > 0) {
        scenario.stepMs = period;
    }
}

// Optional record of every call, one line each, for tests and demos.
std::wstring tracePath;

void Trace(const std::wstring& call) {
    if (tracePath.empty()) {
        return;
    }
    HANDLE file = CreateFileW(tracePath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    std::string line(call.begin(), call.end());
    line += "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

RadioBackend* Find(HRIL handle) {
    auto found = instances.find(static_cast<RadioBackend*>(handle));
    return found == instances.end() ? nullptr : *found;
}

HRESULT Query(HRIL handle, RilQuery query, const std::wstring& call) {
    std::lock_guard<std::mutex> hold(instancesMutex);
    Trace(call);
    RadioBackend* instance = Find(handle);
    return instance ? instance->Query(query) : E_INVALIDARG;
}

DWORD NumberSetting(const wchar_t* environment, const wchar_t* value, DWORD fallback) {
    DWORD number = wcstoul(Setting(environment, value).c_str(), nullptr, 10);
    return number > 0 ? number : fallback;
}

// The modem backend, when a port is set; false with the reason reported.
HRESULT OpenModem(const std::wstring& port, RILRESULTCALLBACK result, DWORD parameter,
                  HRIL* handle) {
    ModemSettings settings;
    settings.port = port;
    settings.baud = NumberSetting(L"KESTREL_RIL_BAUD", L"Baud", settings.baud);
    settings.timeoutMs = NumberSetting(L"KESTREL_RIL_TIMEOUT_MS", L"TimeoutMs", settings.timeoutMs);
    settings.record = Setting(L"KESTREL_RIL_RECORD", L"Record");
    std::wstring dialect = Setting(L"KESTREL_RIL_DIALECT", L"Dialect");
    settings.dialect.assign(dialect.begin(), dialect.end());
    if (!dialect.empty() && !ModemDialect::Find(settings.dialect)) {
        ReportError(L"unknown modem dialect '" + dialect + L"'");
        return E_FAIL;
    }
    // Its reason was reported when it was last tried.
    {
        std::lock_guard<std::mutex> hold(holdOffMutex);
        if (holdOff.Held(port, GetTickCount())) {
            return E_FAIL;
        }
    }
    const DWORD began = GetTickCount();
    auto instance = new ModemRadio(settings, result, parameter, ReportError);
    std::wstring error;
    if (!instance->Open(error)) {
        delete instance;
        ReportError(error);
        std::lock_guard<std::mutex> hold(holdOffMutex);
        holdOff.Failed(port, began, GetTickCount());
        return E_FAIL;
    }
    {
        std::lock_guard<std::mutex> hold(holdOffMutex);
        holdOff.Opened(port);
    }
    std::lock_guard<std::mutex> hold(instancesMutex);
    instances.insert(instance);
    *handle = instance;
    return S_OK;
}

} // namespace

// Gives the runtime's exception pool back when the library is unloaded.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        RuntimePool::ReleaseOnUnload(reserved);
    }
    return TRUE;
}

extern "C" {

HRESULT WINAPI RIL_Initialize(DWORD, RILRESULTCALLBACK pfnResult, RILNOTIFYCALLBACK, DWORD,
                              DWORD dwParam, HRIL* lphRil) {
    if (!pfnResult || !lphRil) {
        return E_INVALIDARG;
    }
    {
        std::lock_guard<std::mutex> hold(instancesMutex);
        tracePath = Setting(L"KESTREL_RIL_TRACE", L"Trace");
        Trace(L"RIL_Initialize");
    }
    std::wstring port = Setting(L"KESTREL_RIL_PORT", L"Port");
    if (!port.empty()) {
        return OpenModem(port, pfnResult, dwParam, lphRil);
    }
    std::wstring path = Setting(L"KESTREL_RIL_SCENARIO", L"Scenario");
    Scenario scenario = Scenario::Default();
    std::wstring error;
    if (!path.empty() && !scenario.Load(path, error)) {
        ReportError(error);
        return E_FAIL;
    }
    ApplyModeSettings(scenario);
    std::lock_guard<std::mutex> hold(instancesMutex);
    if (scenario.initFailures != 0) {
        DWORD& failed = failedOpens[std::make_pair(path, scenario.source)];
        if (scenario.initFailures == Scenario::ALWAYS || failed < scenario.initFailures) {
            ++failed;
            return E_FAIL;
        }
    }
    auto instance = new ScenarioRadio(std::move(scenario), pfnResult, dwParam);
    instances.insert(instance);
    *lphRil = instance;
    return S_OK;
}

HRESULT WINAPI RIL_Deinitialize(HRIL hRil) {
    RadioBackend* instance;
    {
        std::lock_guard<std::mutex> hold(instancesMutex);
        Trace(L"RIL_Deinitialize");
        instance = Find(hRil);
        if (!instance) {
            return E_INVALIDARG;
        }
        instances.erase(instance);
    }
    RadioBackend::Close(instance);
    return S_OK;
}

HRESULT WINAPI RIL_DevSpecific(HRIL hRil, const BYTE* lpbParams, DWORD dwSize) {
    if (!lpbParams && dwSize != 0) {
        return E_INVALIDARG;
    }
    std::wstring call = L"RIL_DevSpecific";
    if (dwSize == sizeof(DWORD)) {
        DWORD request;
        memcpy(&request, lpbParams, sizeof(request));
        call += L" " + std::to_wstring(request);
    }
    return Query(hRil, RilQuery::DevSpecific, call);
}

HRESULT WINAPI RIL_GetCurrentOperator(HRIL hRil, DWORD dwFormat) {
    return Query(hRil, RilQuery::Operator, L"RIL_GetCurrentOperator " + std::to_wstring(dwFormat));
}

HRESULT WINAPI RIL_GetEquipmentState(HRIL hRil) {
    return Query(hRil, RilQuery::Equipment, L"RIL_GetEquipmentState");
}

HRESULT WINAPI RIL_GetSignalQuality(HRIL hRil) {
    return Query(hRil, RilQuery::Signal, L"RIL_GetSignalQuality");
}

HRESULT WINAPI RIL_GetCellTowerInfo(HRIL hRil) {
    return Query(hRil, RilQuery::CellTower, L"RIL_GetCellTowerInfo");
}

} // extern "C"
