#include "ModemRadio.h"

#include <algorithm>

#include "AtParse.h"

namespace {

// A modem that does not answer this many commands in a row is opened and set up again.
const int MAX_TIMEOUTS = 3;
const DWORD RECONNECT_MS = 1000;
// The first "AT" may meet a modem that is still busy with what it had before.
const int HANDSHAKE_TRIES = 3;
const DWORD HANDSHAKE_MS = 1000;
// A dialect command that fails this many times in a row is not asked again on this connection.
const int DIALECT_TRIES = 2;

const char* const SET_UP[] = {"ATE0",       "ATV1",       "AT+CMEE=1",  "AT+CREG=2",
                              "AT+CGREG=2", "AT+CEREG=2", "AT+COPS=3,2"};

const struct {
    const char* command;
    const char* prefix;
} REGISTRATION_READS[] = {
    {"AT+CEREG?", "+CEREG:"}, {"AT+CREG?", "+CREG:"}, {"AT+CGREG?", "+CGREG:"}};

bool Answered(const AtReply& reply) {
    return reply.status == AtReply::Ok || reply.status == AtReply::Error ||
           reply.status == AtReply::CmeError;
}

// The last line of information text (noise may come before it) without a "+CGMI: " style prefix and
// quotes.
std::string Identity(const AtReply& reply) {
    if (reply.status != AtReply::Ok || reply.lines.empty()) {
        return "?";
    }
    const std::string& text = reply.lines.back();
    if (AtParse::StartsWith(text, "+CGM")) {
        std::vector<std::string> fields = AtParse::Fields(text);
        return fields.empty() ? "?" : AtParse::Unquote(fields[0]);
    }
    return text;
}

} // namespace

ModemRadio::ModemRadio(const ModemSettings& settings, RILRESULTCALLBACK result, DWORD parameter)
    : settings(settings), resultCallback(result), parameter(parameter) {
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
    if (resultThread.joinable()) {
        // A callback that closes the radio layer cannot wait for its own thread.
        if (resultThread.get_id() == std::this_thread::get_id()) {
            resultThread.detach();
        } else {
            resultThread.join();
        }
    }
}

bool ModemRadio::Open(std::wstring& error) {
    if (!Connect(error)) {
        return false;
    }
    modemThread = std::thread(&ModemRadio::RunModem, this);
    resultThread = std::thread(&ModemRadio::RunResults, this);
    return true;
}

HRESULT ModemRadio::Query(RilQuery query) {
    std::lock_guard<std::mutex> hold(mutex);
    HRESULT commandId = NewCommandId();
    if (query == RilQuery::DevSpecific) {
        // The requests of the device's own driver mean nothing to a modem.
        results.push_back({RIL_RESULT_OK, commandId, {}});
    } else {
        auto older = std::find_if(queue.begin(), queue.end(),
                                  [query](const Pending& p) { return p.query == query; });
        if (older != queue.end()) {
            results.push_back(Failure(older->commandId));
            queue.erase(older);
        }
        queue.push_back({query, commandId});
    }
    wake.notify_all();
    return commandId;
}

// Like the scenario player's failures: an error code with an HRESULT as data.
ModemRadio::Result ModemRadio::Failure(HRESULT commandId) {
    Result result = Success(commandId, E_FAIL);
    result.code = RIL_RESULT_ERROR;
    return result;
}

template <typename T> ModemRadio::Result ModemRadio::Success(HRESULT commandId, const T& data) {
    auto bytes = reinterpret_cast<const BYTE*>(&data);
    return Result{RIL_RESULT_OK, commandId, std::vector<BYTE>(bytes, bytes + sizeof(T))};
}

bool ModemRadio::Connect(std::wstring& error) {
    channel.reset();
    port = ModemPort::Open(settings.port, settings.baud, error);
    if (!port) {
        return false;
    }
    channel = std::make_unique<AtChannel>(*port, stopping);
    bool answered = false;
    for (int i = 0; i < HANDSHAKE_TRIES && !answered && !stopping; ++i) {
        AtReply reply = channel->Command("AT", "", std::min(settings.timeoutMs, HANDSHAKE_MS));
        answered = Answered(reply);
        if (reply.status == AtReply::PortFailed) {
            break;
        }
    }
    if (!answered || !SetUp()) {
        error = settings.port + (answered ? L": the modem stopped answering while being set up"
                                          : L": the modem does not answer AT");
        channel.reset();
        port.reset();
        return false;
    }
    std::string manufacturer = Identity(channel->Command("AT+CGMI", "", settings.timeoutMs));
    std::string model = Identity(channel->Command("AT+CGMM", "", settings.timeoutMs));
    const ModemDialect* forced = ModemDialect::Find(settings.dialect);
    dialect = forced ? forced : &ModemDialect::Identify(manufacturer);
    if (recorder) {
        recorder->SetSource("Recorded from " +
                            std::string(settings.port.begin(), settings.port.end()) + ": " +
                            manufacturer + " " + model + ", dialect " + dialect->name);
    }
    connected = true;
    resync = false;
    timeouts = 0;
    dialectFailures = 0;
    std::fill(std::begin(unsupported), std::end(unsupported), false);
    csqUnsupported = false;
    cesqUnsupported = false;
    return true;
}

bool ModemRadio::SetUp() {
    for (const char* command : SET_UP) {
        if (!Answered(channel->Command(command, "", settings.timeoutMs))) {
            return false;
        }
    }
    return true;
}

void ModemRadio::Disconnect() {
    connected = false;
    channel.reset();
    port.reset();
}

AtReply ModemRadio::Send(const std::string& command, const std::string& prefix) {
    if (!connected) {
        AtReply gone;
        gone.status = AtReply::PortFailed;
        return gone;
    }
    // What a command that timed out sends late must not be taken for the next one's answer.
    if (resync) {
        channel->Drain(200, 2 * settings.timeoutMs);
        resync = false;
    }
    AtReply reply = channel->Command(command, prefix, settings.timeoutMs);
    if (reply.status == AtReply::Timeout) {
        resync = true;
        if (++timeouts >= MAX_TIMEOUTS) {
            Disconnect();
        }
    } else if (reply.status == AtReply::PortFailed) {
        Disconnect();
    } else if (reply.status != AtReply::Stopped) {
        timeouts = 0;
        // An OK without the answer it closes is a late OK of an earlier command.
        resync = reply.status == AtReply::Ok && !prefix.empty() && reply.lines.empty();
    }
    return reply;
}

template <typename T>
ModemRadio::Result ModemRadio::Read(bool (ModemRadio::*reader)(T&), HRESULT commandId) {
    T data;
    return (this->*reader)(data) ? Success(commandId, data) : Failure(commandId);
}

ModemRadio::Result ModemRadio::Execute(const Pending& pending) {
    if (connected) {
        channel->Absorb();
        if (channel->TakeRestart() && !SetUp()) {
            Disconnect();
        }
    }
    switch (pending.query) {
    case RilQuery::Operator:
        return Read(&ModemRadio::ReadOperator, pending.commandId);
    case RilQuery::Equipment:
        return Read(&ModemRadio::ReadEquipment, pending.commandId);
    case RilQuery::Signal:
        return Read(&ModemRadio::ReadSignal, pending.commandId);
    case RilQuery::CellTower:
        return Read(&ModemRadio::ReadCell, pending.commandId);
    default:
        break;
    }
    return Failure(pending.commandId);
}

bool ModemRadio::ReadOperator(RILOPERATORNAMES& names) {
    AtReply reply = Send("AT+COPS?", "+COPS:");
    int format = -1;
    if (reply.status != AtReply::Ok || reply.lines.empty() ||
        !AtParse::ParseOperator(reply.lines.back(), names, format)) {
        return false;
    }
    // The numeric format did not survive a restart of the modem: set it up again.
    if (format == 0 || format == 1) {
        SetUp();
    }
    if (recorder) {
        recorder->Operator(names);
    }
    return true;
}

bool ModemRadio::ReadEquipment(RILEQUIPMENTSTATE& state) {
    AtReply reply = Send("AT+CFUN?", "+CFUN:");
    if (reply.status != AtReply::Ok || reply.lines.empty() ||
        !AtParse::ParseCfun(reply.lines.back(), state)) {
        return false;
    }
    if (recorder) {
        recorder->Equipment(state);
    }
    return true;
}

bool ModemRadio::ReadSignal(RILSIGNALQUALITY& signal) {
    bool read = false;
    if (!csqUnsupported) {
        AtReply reply = Send("AT+CSQ", "+CSQ:");
        csqUnsupported = reply.status == AtReply::Error;
        read = reply.status == AtReply::Ok && !reply.lines.empty() &&
               AtParse::ParseCsq(reply.lines.back(), signal);
        if (!Answered(reply)) {
            return false;
        }
    }
    // Modems that only know LTE report no +CSQ level; +CESQ has RSRP.
    if ((!read || !(signal.dwParams & RIL_PARAM_SQ_SIGNALSTRENGTH)) && !cesqUnsupported) {
        AtReply reply = Send("AT+CESQ", "+CESQ:");
        cesqUnsupported = reply.status == AtReply::Error;
        RILSIGNALQUALITY extended;
        if (reply.status == AtReply::Ok && !reply.lines.empty() &&
            AtParse::ParseCesq(reply.lines.back(), extended) &&
            ((extended.dwParams & RIL_PARAM_SQ_SIGNALSTRENGTH) || !read)) {
            signal = extended;
            read = true;
        } else if (!Answered(reply)) {
            return false;
        }
    }
    if (read && recorder) {
        recorder->Signal(signal);
    }
    return read;
}

bool ModemRadio::ReadCell(RILCELLTOWERINFO& cell) {
    memset(&cell, 0, sizeof(cell));
    cell.cbSize = sizeof(cell);
    AtParse::Registration registrations[REGISTRATIONS];
    bool asked = false;
    for (int i = 0; i < REGISTRATIONS; ++i) {
        if (unsupported[i]) {
            continue;
        }
        AtReply reply = Send(REGISTRATION_READS[i].command, REGISTRATION_READS[i].prefix);
        if (!Answered(reply)) {
            return false;
        }
        // A 2G modem knows no +CEREG, an LTE-only one no +CREG; "+CME ERROR" is a passing state.
        unsupported[i] = reply.status == AtReply::Error;
        if (reply.status == AtReply::Ok) {
            if (reply.lines.empty() ||
                !AtParse::ParseRegistration(reply.lines.back(), registrations[i])) {
                return false;
            }
            asked = true;
        }
    }
    if (!asked) {
        return false;
    }
    // On LTE the EPS registration names the serving cell; otherwise the CS one, then the PS one.
    for (const AtParse::Registration& registration : registrations) {
        if (!registration.registered) {
            continue;
        }
        if (registration.hasArea) {
            cell.dwLocationAreaCode = registration.area;
            cell.dwParams |= RIL_PARAM_CTI_LOCATIONAREACODE;
        }
        if (registration.hasCell) {
            cell.dwCellID = registration.cellId;
            cell.dwParams |= RIL_PARAM_CTI_CELLID;
        }
        ReadChannel(cell);
        break;
    }
    if (recorder) {
        recorder->Cell(cell);
    }
    return true;
}

void ModemRadio::ReadChannel(RILCELLTOWERINFO& cell) {
    if (!dialect->command || dialectFailures >= DIALECT_TRIES) {
        return;
    }
    AtReply reply = Send(dialect->command, dialect->prefix);
    if (reply.status != AtReply::Ok) {
        ++dialectFailures;
        return;
    }
    dialectFailures = 0;
    ServingCell serving;
    if (!dialect->parse(reply.lines, serving)) {
        return;
    }
    // The cell may have changed between the two commands: a channel of another cell is not
    // reported. UMTS modems on older networks give only the low 16 bits in one of the two.
    bool sameArea = !serving.hasArea || !(cell.dwParams & RIL_PARAM_CTI_LOCATIONAREACODE) ||
                    serving.area == cell.dwLocationAreaCode;
    bool sameCell = !serving.hasCell || !(cell.dwParams & RIL_PARAM_CTI_CELLID) ||
                    (serving.cellId & 0xFFFF) == (cell.dwCellID & 0xFFFF);
    if (sameArea && sameCell) {
        cell.dwNumBCCH = serving.channel;
        cell.dwParams |= RIL_PARAM_CTI_NUMBCCH;
    }
}

void ModemRadio::RunModem() {
    DWORD nextAttempt = GetTickCount();
    std::unique_lock<std::mutex> hold(mutex);
    while (!stopping) {
        if (!connected) {
            // Queries fail at once while the modem is gone.
            while (!queue.empty()) {
                results.push_back(Failure(queue.front().commandId));
                queue.pop_front();
                wake.notify_all();
            }
            LONG wait = static_cast<LONG>(nextAttempt - GetTickCount());
            if (wait > 0) {
                wake.wait_for(hold, std::chrono::milliseconds(wait));
                continue;
            }
            hold.unlock();
            std::wstring error;
            Connect(error);
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
        Result result = Execute(pending);
        hold.lock();
        results.push_back(std::move(result));
        wake.notify_all();
    }
}

void ModemRadio::RunResults() {
    std::unique_lock<std::mutex> hold(mutex);
    while (!stopping) {
        if (results.empty()) {
            wake.wait(hold);
            continue;
        }
        Result result = std::move(results.front());
        results.pop_front();
        hold.unlock();
        resultCallback(result.code, result.commandId,
                       result.data.empty() ? nullptr : result.data.data(),
                       static_cast<DWORD>(result.data.size()), parameter);
        hold.lock();
    }
}
