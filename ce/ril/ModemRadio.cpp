#include "ModemRadio.h"

#include <algorithm>

namespace {

const DWORD RECONNECT_MS = 1000;

} // namespace

ModemRadio::ModemRadio(const ModemSettings& settings, RILRESULTCALLBACK result, DWORD parameter,
                       std::function<void(const std::wstring&)> report)
    : RadioBackend(result, parameter), settings(settings), report(std::move(report)) {
    if (!settings.record.empty()) {
        recorder = std::make_unique<ModemRecorder>(settings.record);
    }
}

ModemRadio::~ModemRadio() {
    {
        std::lock_guard<std::mutex> hold(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (modemThread.joinable()) {
        modemThread.join();
    }
}

bool ModemRadio::Open(std::wstring& error) {
    if (!Connect(error)) {
        return false;
    }
    modemThread = std::thread(&ModemRadio::RunModem, this);
    return true;
}

HRESULT ModemRadio::Query(RilQuery query) {
    std::lock_guard<std::mutex> hold(mutex);
    HRESULT commandId = NewCommandId();
    if (query == RilQuery::DevSpecific) {
        // The requests of the device's own driver mean nothing to a modem.
        delivery.Post(RIL_RESULT_OK, commandId, {});
    } else {
        auto older = std::find_if(queue.begin(), queue.end(),
                                  [query](const Pending& p) { return p.query == query; });
        if (older != queue.end()) {
            PostFailure(older->commandId);
            queue.erase(older);
        }
        queue.push_back({query, commandId});
    }
    wake.notify_all();
    return commandId;
}

// Like the scenario player's failures: an error code with an HRESULT as data.
void ModemRadio::PostFailure(HRESULT commandId) {
    HRESULT failure = E_FAIL;
    auto bytes = reinterpret_cast<const BYTE*>(&failure);
    delivery.Post(RIL_RESULT_ERROR, commandId, std::vector<BYTE>(bytes, bytes + sizeof(failure)));
}

template <typename T> void ModemRadio::PostSuccess(HRESULT commandId, const T& data) {
    auto bytes = reinterpret_cast<const BYTE*>(&data);
    delivery.Post(RIL_RESULT_OK, commandId, std::vector<BYTE>(bytes, bytes + sizeof(T)));
}

bool ModemRadio::Connect(std::wstring& error) {
    auto fresh = std::make_unique<ModemConnection>(settings, stopping);
    if (!fresh->Open(error)) {
        return false;
    }
    connection = std::move(fresh);
    reported.clear();
    if (recorder) {
        recorder->SetSource("Recorded from " +
                            std::string(settings.port.begin(), settings.port.end()) + ": " +
                            connection->Description());
    }
    return true;
}

// Each reason once, until a connection succeeds: the modem thread tries every second.
void ModemRadio::Reconnect() {
    std::wstring error;
    if (!Connect(error) && !stopping && error != reported) {
        reported = error;
        report(error);
    }
}

void ModemRadio::Lose() {
    if (connection->Lost() && !stopping) {
        reported = settings.port + L": " + connection->LossReason();
        report(reported);
    }
    connection.reset();
}

void ModemRadio::Execute(const Pending& pending) {
    // A modem that restarted lost its settings: a fresh connection sets it up again.
    if (!connection->Check()) {
        Lose();
        Reconnect();
        if (!connection) {
            PostFailure(pending.commandId);
            return;
        }
    }
    bool read = false;
    switch (pending.query) {
    case RilQuery::Operator: {
        RILOPERATORNAMES names;
        if ((read = connection->ReadOperator(names))) {
            PostSuccess(pending.commandId, names);
            if (recorder) {
                recorder->Operator(names);
            }
        }
        break;
    }
    case RilQuery::Equipment: {
        RILEQUIPMENTSTATE state;
        if ((read = connection->ReadEquipment(state))) {
            PostSuccess(pending.commandId, state);
            if (recorder) {
                recorder->Equipment(state);
            }
        }
        break;
    }
    case RilQuery::Signal: {
        RILSIGNALQUALITY signal;
        if ((read = connection->ReadSignal(signal))) {
            PostSuccess(pending.commandId, signal);
            if (recorder) {
                recorder->Signal(signal);
            }
        }
        break;
    }
    case RilQuery::CellTower: {
        RILCELLTOWERINFO cell;
        if ((read = connection->ReadCell(cell))) {
            PostSuccess(pending.commandId, cell);
            if (recorder) {
                recorder->Cell(cell);
            }
        }
        break;
    }
    default:
        break;
    }
    if (!read) {
        PostFailure(pending.commandId);
    }
    if (connection->Lost()) {
        Lose();
    }
}

void ModemRadio::RunModem() {
    DWORD nextAttempt = GetTickCount();
    std::unique_lock<std::mutex> hold(mutex);
    while (!stopping) {
        if (!connection) {
            // Queries fail at once while the modem is gone.
            for (const Pending& pending : queue) {
                PostFailure(pending.commandId);
            }
            queue.clear();
            LONG wait = static_cast<LONG>(nextAttempt - GetTickCount());
            if (wait > 0) {
                wake.wait_for(hold, std::chrono::milliseconds(wait));
                continue;
            }
            hold.unlock();
            Reconnect();
            hold.lock();
            nextAttempt = GetTickCount() + RECONNECT_MS;
            continue;
        }
        if (queue.empty()) {
            wake.wait(hold);
            continue;
        }
        Pending pending = queue.front();
        queue.pop_front();
        hold.unlock();
        Execute(pending);
        hold.lock();
    }
}
