// The radio layer: a simulated modem that answers each command later, on a thread of its own,
// with what the configured scenario says.

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Scenario.h"
#include "ril.h"

namespace {

const wchar_t* const SETTINGS_KEY = L"Software\\KestrelDevice\\Ril";
const wchar_t* const DEFAULT_ERROR_LOG = L"\\ril-errors.txt";

struct PendingResult {
    DWORD due;
    DWORD code;
    HRESULT commandId;
    std::vector<BYTE> data;
};

class RadioInstance {
public:
    RadioInstance(Scenario scenario, RILRESULTCALLBACK result, DWORD parameter)
        : scenario(std::move(scenario)), resultCallback(result), parameter(parameter),
          opened(GetTickCount()), worker(&RadioInstance::Run, this) {}

    ~RadioInstance() {
        {
            std::lock_guard<std::mutex> hold(mutex);
            stopping = true;
        }
        wake.notify_all();
        // A callback that closes the radio layer cannot wait for its own thread.
        if (worker.get_id() == std::this_thread::get_id()) {
            worker.detach();
        } else {
            worker.join();
        }
    }

    HRESULT Query(RilQuery query) {
        std::lock_guard<std::mutex> hold(mutex);
        HRESULT commandId = nextCommandId++;
        if (nextCommandId <= 0) {
            nextCommandId = 1;
        }
        const ScenarioStep& step = scenario.timed ? scenario.StepForTime(GetTickCount() - opened)
                                                  : scenario.StepForCycle(cycle);
        int index = static_cast<int>(query);
        PendingResult result{GetTickCount() + scenario.latencyMs, RIL_RESULT_OK, commandId, {}};
        if (step.answers[index] == Answer::Failure) {
            result.code = step.failureCodes[index];
            HRESULT failure = E_FAIL;
            Store(result, &failure, sizeof(failure));
        } else {
            switch (query) {
            case RilQuery::Operator:
                Store(result, &step.operatorNames, sizeof(step.operatorNames));
                break;
            case RilQuery::Equipment:
                Store(result, &step.equipmentState, sizeof(step.equipmentState));
                break;
            case RilQuery::Signal:
                Store(result, &step.signalQuality, sizeof(step.signalQuality));
                break;
            case RilQuery::CellTower:
                Store(result, &step.cellTower, sizeof(step.cellTower));
                break;
            default:
                break;
            }
        }
        // In cycle mode the serving cell query closes a polling cycle.
        if (query == RilQuery::CellTower) {
            ++cycle;
        }
        if (step.answers[index] != Answer::Never) {
            queue.push_back(std::move(result));
            wake.notify_all();
        }
        return commandId;
    }

private:
    static void Store(PendingResult& result, const void* data, size_t size) {
        auto bytes = static_cast<const BYTE*>(data);
        result.data.assign(bytes, bytes + size);
    }

    void Run() {
        std::unique_lock<std::mutex> hold(mutex);
        while (!stopping) {
            if (queue.empty()) {
                wake.wait(hold);
                continue;
            }
            DWORD wait = queue.front().due - GetTickCount();
            if (static_cast<LONG>(wait) > 0) {
                wake.wait_for(hold, std::chrono::milliseconds(wait));
                continue;
            }
            PendingResult result = std::move(queue.front());
            queue.pop_front();
            hold.unlock();
            resultCallback(result.code, result.commandId,
                           result.data.empty() ? nullptr : result.data.data(),
                           static_cast<DWORD>(result.data.size()), parameter);
            hold.lock();
        }
    }

    Scenario scenario;
    RILRESULTCALLBACK resultCallback;
    DWORD parameter;
    DWORD opened;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<PendingResult> queue;
    bool stopping = false;
    DWORD cycle = 0;
    std::thread worker;
    // Unique across instances, so an id left pending by a closed instance matches nothing.
    static HRESULT nextCommandId;
};

HRESULT RadioInstance::nextCommandId = 1;

std::mutex instancesMutex;
std::set<RadioInstance*> instances;
// Failed opens per scenario path and contents, for "init fail <count>".
std::map<std::pair<std::wstring, std::string>, DWORD> failedOpens;

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

// Scenario errors go to the debugger and to a file, so that a bad line is easy to find.
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

RadioInstance* Find(HRIL handle) {
    auto found = instances.find(static_cast<RadioInstance*>(handle));
    return found == instances.end() ? nullptr : *found;
}

HRESULT Query(HRIL handle, RilQuery query, const std::wstring& call) {
    std::lock_guard<std::mutex> hold(instancesMutex);
    Trace(call);
    RadioInstance* instance = Find(handle);
    return instance ? instance->Query(query) : E_INVALIDARG;
}

} // namespace

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
    auto instance = new RadioInstance(std::move(scenario), pfnResult, dwParam);
    instances.insert(instance);
    *lphRil = instance;
    return S_OK;
}

HRESULT WINAPI RIL_Deinitialize(HRIL hRil) {
    RadioInstance* instance;
    {
        std::lock_guard<std::mutex> hold(instancesMutex);
        Trace(L"RIL_Deinitialize");
        instance = Find(hRil);
        if (!instance) {
            return E_INVALIDARG;
        }
        instances.erase(instance);
    }
    delete instance;
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
