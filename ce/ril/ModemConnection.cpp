#include "ModemConnection.h"

#include <algorithm>
#include <cstring>

#include "AtParse.h"
#include "PortProbe.h"

namespace {

// A modem that does not answer this many commands in a row is taken as lost.
const int MAX_TIMEOUTS = 3;
// After a time-out the modem must have been quiet this long before the next command.
const DWORD QUIET_MS = 200;

const char* const SET_UP[] = {"ATE0", "ATV1", "AT+CMEE=1", "AT+COPS=3,2"};

// The registrations, in the order their cell is preferred: 5GS (NR standalone), EPS, then CS,
// then PS. Each one is switched to reports with location at set-up and read for the serving cell.
const struct {
    const char* setUp;
    const char* read;
    const char* prefix;
} REGISTRATIONS[] = {
    {"AT+C5GREG=2", "AT+C5GREG?", "+C5GREG:"},
    {"AT+CEREG=2", "AT+CEREG?", "+CEREG:"},
    {"AT+CREG=2", "AT+CREG?", "+CREG:"},
    {"AT+CGREG=2", "AT+CGREG?", "+CGREG:"},
};
const size_t REGISTRATION_COUNT = sizeof(REGISTRATIONS) / sizeof(REGISTRATIONS[0]);

bool Answered(const AtReply& reply) {
    return reply.status == AtReply::Ok || reply.status == AtReply::Error ||
           reply.status == AtReply::CmeError;
}

} // namespace

ModemConnection::ModemConnection(const ModemSettings& settings, const std::atomic<bool>& stopping)
    : settings(settings), stopping(stopping), registrations(REGISTRATION_COUNT),
      locationReports(REGISTRATION_COUNT) {}

bool ModemConnection::Open(std::wstring& error) {
    port = ModemPort::Open(settings.port, settings.baud, stopping, error);
    if (!port) {
        return false;
    }
    PortProbe probe(*port, stopping);
    PortVerdict verdict =
        probe.Run(PortProbe::TRIES, std::min(settings.timeoutMs, PortProbe::TRY_MS));
    if (verdict.kind != PortVerdict::AtPort) {
        error = settings.port + L": " + verdict.Reason();
        return false;
    }
    channel = std::make_unique<AtChannel>(*port, stopping, probe.Reader());
    // An ERROR is accepted (2G modems know no +CEREG); silence counts as it does for queries.
    for (const char* command : SET_UP) {
        Send(command, "");
    }
    for (const auto& registration : REGISTRATIONS) {
        Send(registration.setUp, "");
    }
    AtReply maker = Send("AT+CGMI", "");
    AtReply type = Send("AT+CGMM", "");
    if (lost || stopping) {
        error = settings.port + L": " + LossReason();
        return false;
    }
    manufacturer = maker.status == AtReply::Ok ? AtParse::Identity(maker.lines) : "?";
    model = type.status == AtReply::Ok ? AtParse::Identity(type.lines) : "?";
    const ModemDialect* forced = ModemDialect::Find(settings.dialect);
    dialect = forced ? forced : &ModemDialect::Identify(manufacturer);
    return true;
}

std::wstring ModemConnection::LossReason() const {
    if (channel && channel->Flooded()) {
        return L"the port streams more than any answer: not the modem's AT port any more";
    }
    if (timeouts >= MAX_TIMEOUTS) {
        return L"the modem stopped answering";
    }
    return L"the modem went away";
}

std::string ModemConnection::Description() const {
    return manufacturer + " " + model + ", dialect " + (dialect ? dialect->name : "?");
}

bool ModemConnection::Check() {
    if (lost || !channel->Absorb()) {
        lost = true;
        return false;
    }
    return !channel->TakeRestart();
}

AtReply ModemConnection::Send(const std::string& command, const std::string& prefix) {
    AtReply reply;
    if (lost) {
        reply.status = AtReply::PortFailed;
        return reply;
    }
    // What a command that timed out sends late must not be taken for the next one's answer.
    if (resync) {
        resync = false;
        if (!channel->Drain(QUIET_MS, 2 * settings.timeoutMs)) {
            lost = true;
            reply.status = AtReply::PortFailed;
            return reply;
        }
    }
    reply = channel->Command(command, prefix, settings.timeoutMs);
    switch (reply.status) {
    case AtReply::Timeout:
        resync = true;
        lost = ++timeouts >= MAX_TIMEOUTS;
        break;
    case AtReply::PortFailed:
        lost = true;
        break;
    case AtReply::Stopped:
        break;
    default:
        timeouts = 0;
        // An OK without the answer it closes is a late OK of an earlier command.
        resync = reply.status == AtReply::Ok && !prefix.empty() && reply.lines.empty();
        break;
    }
    return reply;
}

bool ModemConnection::ReadOperator(RILOPERATORNAMES& names) {
    AtReply reply = Send("AT+COPS?", "+COPS:");
    int format = -1;
    if (reply.status != AtReply::Ok || reply.lines.empty() ||
        !AtParse::ParseOperator(reply.lines.back(), names, format)) {
        return false;
    }
    // The numeric format is asked for again; a modem that ignores it is asked ever less often.
    if (format == 2) {
        numericFormat.Succeeded();
    } else if (format >= 0 && numericFormat.Due()) {
        Send("AT+COPS=3,2", "");
        numericFormat.Failed();
    }
    return true;
}

bool ModemConnection::ReadEquipment(RILEQUIPMENTSTATE& state) {
    AtReply reply = Send("AT+CFUN?", "+CFUN:");
    return reply.status == AtReply::Ok && !reply.lines.empty() &&
           AtParse::ParseCfun(reply.lines.back(), state);
}

bool ModemConnection::ReadSignal(RILSIGNALQUALITY& signal) {
    bool read = false;
    if (csq.Due()) {
        AtReply reply = Send("AT+CSQ", "+CSQ:");
        read = reply.status == AtReply::Ok && !reply.lines.empty() &&
               AtParse::ParseCsq(reply.lines.back(), signal);
        read ? csq.Succeeded() : csq.Failed();
        if (!Answered(reply)) {
            return false;
        }
    }
    // Modems that only know LTE report no +CSQ level; +CESQ has RSRP.
    if ((!read || !(signal.dwParams & RIL_PARAM_SQ_SIGNALSTRENGTH)) && cesq.Due()) {
        AtReply reply = Send("AT+CESQ", "+CESQ:");
        RILSIGNALQUALITY extended;
        bool extendedRead = reply.status == AtReply::Ok && !reply.lines.empty() &&
                            AtParse::ParseCesq(reply.lines.back(), extended);
        extendedRead ? cesq.Succeeded() : cesq.Failed();
        if (extendedRead && ((extended.dwParams & RIL_PARAM_SQ_SIGNALSTRENGTH) || !read)) {
            signal = extended;
            read = true;
        } else if (!Answered(reply)) {
            return false;
        }
    }
    return read;
}

bool ModemConnection::ReadCell(RILCELLTOWERINFO& cell) {
    memset(&cell, 0, sizeof(cell));
    cell.cbSize = sizeof(cell);
    AtParse::Registration found[REGISTRATION_COUNT];
    bool asked = false;
    for (size_t i = 0; i < REGISTRATION_COUNT; ++i) {
        if (!registrations[i].Due()) {
            continue;
        }
        AtReply reply = Send(REGISTRATIONS[i].read, REGISTRATIONS[i].prefix);
        // A 2G modem knows no +CEREG, an LTE-only one no +CREG: a failed one loses its cell only.
        bool read = reply.status == AtReply::Ok && !reply.lines.empty() &&
                    AtParse::ParseRegistration(reply.lines.back(), found[i]);
        read ? registrations[i].Succeeded() : registrations[i].Failed();
        if (!Answered(reply)) {
            return false;
        }
        asked = asked || read;
        // The set-up did not take (an ERROR while the modem was busy): asked again, ever less
        // often if the modem keeps ignoring it.
        if (read && found[i].reports < 2 && locationReports[i].Due()) {
            Send(REGISTRATIONS[i].setUp, "");
            locationReports[i].Failed();
        } else if (read && found[i].reports >= 2) {
            locationReports[i].Succeeded();
        }
    }
    if (!asked) {
        return false;
    }
    for (const AtParse::Registration& registration : found) {
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
    return true;
}

void ModemConnection::ReadChannel(RILCELLTOWERINFO& cell) {
    if (!dialect->command || !channelCommand.Due()) {
        return;
    }
    AtReply reply = Send(dialect->command, dialect->prefix);
    if (reply.status != AtReply::Ok) {
        channelCommand.Failed();
        return;
    }
    channelCommand.Succeeded();
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
