#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "AtChannel.h"
#include "CommandBackoff.h"
#include "ModemDialect.h"
#include "ModemPort.h"
#include "ril.h"

struct ModemSettings {
    std::wstring port; // "COM5" or "tcp:HOST:PORT"
    DWORD baud = 115200;
    DWORD timeoutMs = 5000; // for each AT command
    std::wstring record;    // scenario file the reports are appended to; empty: none
    std::string dialect;    // a dialect's name; empty: chosen by +CGMI
};

// One connection to the modem, from opening the port until it is lost: the port, its AT
// channel, the dialect, and what was learnt on the way (time-outs in a row, commands that keep
// failing). Made afresh for every connection, so nothing of an earlier one carries over. Every
// command, the set-up's too, goes through one send path that resynchronises after a time-out
// and counts towards the lost-modem rule.
class ModemConnection {
public:
    ModemConnection(const ModemSettings& settings, const std::atomic<bool>& stopping);

    // Opens the port, makes sure it is a modem's AT port, sets the modem up and names it;
    // false with the reason.
    bool Open(std::wstring& error);
    // Takes in what the modem sent unasked. False when this connection is over: lost, or the
    // modem restarted and lost its settings, so a fresh connection is needed.
    bool Check();
    bool Lost() const { return lost; }
    // Why the connection was lost, for the error log.
    std::wstring LossReason() const;
    // "Quectel EG25, dialect quectel"
    std::string Description() const;

    bool ReadOperator(RILOPERATORNAMES& names);
    bool ReadEquipment(RILEQUIPMENTSTATE& state);
    bool ReadSignal(RILSIGNALQUALITY& signal);
    bool ReadCell(RILCELLTOWERINFO& cell);

private:
    AtReply Send(const std::string& command, const std::string& prefix);
    void ReadChannel(RILCELLTOWERINFO& cell);

    ModemSettings settings;
    const std::atomic<bool>& stopping;
    std::unique_ptr<ModemPort> port;
    std::unique_ptr<AtChannel> channel;
    const ModemDialect* dialect = nullptr;
    std::string manufacturer = "?";
    std::string model = "?";
    bool resync = false;
    int timeouts = 0;
    bool lost = false;
    CommandBackoff csq;
    CommandBackoff cesq;
    std::vector<CommandBackoff> registrations;
    std::vector<CommandBackoff> locationReports;
    CommandBackoff channelCommand;
    // Set-up commands asked again while the modem's answers show they did not take.
    CommandBackoff numericFormat;
};
