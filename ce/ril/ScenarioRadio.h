#pragma once

#include <windows.h>

#include <mutex>
#include <vector>

#include "RadioBackend.h"
#include "Scenario.h"
#include "ril.h"

// The simulated radio: answers each query later, after the scenario's latency, with what the
// scenario's step in force says.
class ScenarioRadio : public RadioBackend {
public:
    ScenarioRadio(Scenario scenario, RILRESULTCALLBACK result, DWORD parameter);
    HRESULT Query(RilQuery query) override;

private:
    static std::vector<BYTE> Bytes(const void* data, size_t size);

    Scenario scenario;
    DWORD opened;
    std::mutex mutex;
    DWORD cycle = 0;
};
