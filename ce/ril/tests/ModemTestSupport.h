#pragma once

// ril.dll's result callback collected for tests, and the modem simulator set up from scenario
// text, for the tests of the modem backend.

// winsock2.h (through the simulator) before windows.h.
#include "ModemSimulator.h"

#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ril.h"

namespace modemtest {

struct Result {
    DWORD code;
    HRESULT commandId;
    std::string data;
    DWORD thread;
};

class Results {
public:
    static Results& Get() {
        static Results results;
        return results;
    }
    static void CALLBACK OnResult(DWORD code, HRESULT commandId, const void* data, DWORD size,
                                  DWORD) {
        Results& self = Get();
        std::lock_guard<std::mutex> hold(self.mutex);
        self.all.push_back(
            {code, commandId,
             data ? std::string(static_cast<const char*>(data), size) : std::string(),
             GetCurrentThreadId()});
        self.arrived.notify_all();
    }
    static void CALLBACK OnNotify(DWORD, const void*, DWORD, DWORD) {}

    void Clear() {
        std::lock_guard<std::mutex> hold(mutex);
        all.clear();
    }
    // The result of one command; the bound only stops a hang.
    bool WaitFor(HRESULT commandId, Result& result, DWORD timeoutMs = 30000) {
        std::unique_lock<std::mutex> hold(mutex);
        return arrived.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] {
            for (const Result& r : all) {
                if (r.commandId == commandId) {
                    result = r;
                    return true;
                }
            }
            return false;
        });
    }
    std::vector<Result> Snapshot() {
        std::lock_guard<std::mutex> hold(mutex);
        return all;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Result> all;
};

template <typename T> T As(const Result& result) {
    T value = {};
    if (result.data.size() == sizeof(T)) {
        memcpy(&value, result.data.data(), sizeof(T));
    }
    return value;
}

inline std::unique_ptr<ModemSimulator> StartSimulator(const std::string& scenarioText,
                                                      const std::string& dialect = "generic",
                                                      const std::string& rat = "gsm",
                                                      const SimFaults& faults = SimFaults()) {
    Scenario scenario;
    std::wstring error;
    if (!scenario.Parse(scenarioText, L"simulator scenario", error)) {
        return nullptr;
    }
    auto simulator = std::make_unique<ModemSimulator>(scenario, dialect, rat, faults);
    return simulator->Start(0) ? std::move(simulator) : nullptr;
}

inline std::wstring TcpPort(const ModemSimulator& simulator) {
    return L"tcp:127.0.0.1:" + std::to_wstring(simulator.Port());
}

} // namespace modemtest
