#include "ScenarioRadio.h"

ScenarioRadio::ScenarioRadio(Scenario scenario, RILRESULTCALLBACK result, DWORD parameter)
    : RadioBackend(result, parameter), scenario(std::move(scenario)), opened(GetTickCount()) {}

HRESULT ScenarioRadio::Query(RilQuery query) {
    std::lock_guard<std::mutex> hold(mutex);
    HRESULT commandId = NewCommandId();
    const ScenarioStep& step = scenario.timed ? scenario.StepForTime(GetTickCount() - opened)
                                              : scenario.StepForCycle(cycle);
    int index = static_cast<int>(query);
    DWORD code = RIL_RESULT_OK;
    std::vector<BYTE> data;
    if (step.answers[index] == Answer::Failure) {
        code = step.failureCodes[index];
        HRESULT failure = E_FAIL;
        data = Bytes(&failure, sizeof(failure));
    } else {
        switch (query) {
        case RilQuery::Operator:
            data = Bytes(&step.operatorNames, sizeof(step.operatorNames));
            break;
        case RilQuery::Equipment:
            data = Bytes(&step.equipmentState, sizeof(step.equipmentState));
            break;
        case RilQuery::Signal:
            data = Bytes(&step.signalQuality, sizeof(step.signalQuality));
            break;
        case RilQuery::CellTower:
            data = Bytes(&step.cellTower, sizeof(step.cellTower));
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
        delivery.Post(code, commandId, std::move(data), GetTickCount() + scenario.latencyMs);
    }
    return commandId;
}

std::vector<BYTE> ScenarioRadio::Bytes(const void* data, size_t size) {
    auto bytes = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(bytes, bytes + size);
}
