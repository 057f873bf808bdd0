#include "ScenarioRadio.h"

ScenarioRadio::ScenarioRadio(Scenario scenario, RILRESULTCALLBACK result, DWORD parameter)
    : scenario(std::move(scenario)), resultCallback(result), parameter(parameter),
      opened(GetTickCount()), worker(&ScenarioRadio::Run, this) {}

ScenarioRadio::~ScenarioRadio() {
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

HRESULT ScenarioRadio::Query(RilQuery query) {
    std::lock_guard<std::mutex> hold(mutex);
    HRESULT commandId = NewCommandId();
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

void ScenarioRadio::Store(PendingResult& result, const void* data, size_t size) {
    auto bytes = static_cast<const BYTE*>(data);
    result.data.assign(bytes, bytes + size);
}

void ScenarioRadio::Run() {
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
