#pragma once

#include <windows.h>

#include <string>

#include "ril.h"

// Appends what a modem reports to a scenario file, one step per polling cycle in which any
// value changed, so that a drive recorded on a real modem plays back through the scenario
// player. A cycle ends with its serving cell result, as it does for the scenario player.
class ModemRecorder {
public:
    explicit ModemRecorder(const std::wstring& path);
    // A comment that names the modem; written before the first step of this recording.
    void SetSource(const std::string& description);

    void Operator(const RILOPERATORNAMES& names);
    void Equipment(const RILEQUIPMENTSTATE& state);
    void Signal(const RILSIGNALQUALITY& signal);
    void Cell(const RILCELLTOWERINFO& cell);

    static std::string OperatorLine(const RILOPERATORNAMES& names);
    static std::string EquipmentLine(const RILEQUIPMENTSTATE& state);
    static std::string SignalLine(const RILSIGNALQUALITY& signal);
    static std::string CellLine(const RILCELLTOWERINFO& cell);

private:
    enum { OPERATOR, EQUIPMENT, SIGNAL, CELL, KINDS };
    bool Append(const std::string& text);

    std::wstring path;
    std::string source;
    bool started = false;
    std::string recorded[KINDS];
    std::string current[KINDS];
};
