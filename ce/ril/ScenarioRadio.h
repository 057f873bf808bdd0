#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "RadioBackend.h"
#include "Scenario.h"
#include "ril.h"

// The simulated radio: answers each query later, on a thread of its own, with what the
// scenario's step in force says.
class ScenarioRadio : public RadioBackend {
public:
    ScenarioRadio(Scenario scenario, RILRESULTCALLBACK result, DWORD parameter);
    ~ScenarioRadio() override;
    HRESULT Query(RilQuery query) override;

private:
    struct PendingResult {
        DWORD due;
        DWORD code;
        HRESULT commandId;
        std::vector<BYTE> data;
    };

    static void Store(PendingResult& result, const void* data, size_t size);
    void Run();

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
};
