#include "ModemRecorder.h"

#include <initializer_list>

namespace {

struct Key {
    DWORD flag;
    const char* name;
    long long value;
};

// "name key=value ..." with the keys whose flag is set in params; ifNone when none is.
std::string Line(const char* name, DWORD params, std::initializer_list<Key> keys,
                 const char* ifNone) {
    std::string line = name;
    for (const Key& key : keys) {
        if (params & key.flag) {
            line += std::string(" ") + key.name + "=" + std::to_string(key.value);
        }
    }
    return line == name ? ifNone : line;
}

} // namespace

ModemRecorder::ModemRecorder(const std::wstring& path) : path(path) {}

void ModemRecorder::SetSource(const std::string& description) {
    source = description;
}

std::string ModemRecorder::OperatorLine(const RILOPERATORNAMES& names) {
    std::string name(names.szNumName, strnlen(names.szNumName, sizeof(names.szNumName)));
    if (!(names.dwParams & RIL_PARAM_ON_NUMNAME)) {
        return "operator none";
    }
    return "operator \"" + name + "\"";
}

std::string ModemRecorder::EquipmentLine(const RILEQUIPMENTSTATE& state) {
    if (!(state.dwParams & RIL_PARAM_EQUIPMENTSTATE_EQSTATE)) {
        return "equipment none";
    }
    return "equipment " + std::to_string(state.dwEqState);
}

std::string ModemRecorder::SignalLine(const RILSIGNALQUALITY& signal) {
    return Line("signal", signal.dwParams,
                {{RIL_PARAM_SQ_SIGNALSTRENGTH, "current", signal.nSignalStrength},
                 {RIL_PARAM_SQ_MINSIGNALSTRENGTH, "min", signal.nMinSignalStrength},
                 {RIL_PARAM_SQ_MAXSIGNALSTRENGTH, "max", signal.nMaxSignalStrength}},
                "signal params=0");
}

std::string ModemRecorder::CellLine(const RILCELLTOWERINFO& cell) {
    return Line("cell", cell.dwParams,
                {{RIL_PARAM_CTI_LOCATIONAREACODE, "lac", cell.dwLocationAreaCode},
                 {RIL_PARAM_CTI_CELLID, "id", cell.dwCellID},
                 {RIL_PARAM_CTI_NUMBCCH, "bcch", cell.dwNumBCCH}},
                "cell none");
}

void ModemRecorder::Operator(const RILOPERATORNAMES& names) {
    current[OPERATOR] = OperatorLine(names);
}

void ModemRecorder::Equipment(const RILEQUIPMENTSTATE& state) {
    current[EQUIPMENT] = EquipmentLine(state);
}

void ModemRecorder::Signal(const RILSIGNALQUALITY& signal) {
    current[SIGNAL] = SignalLine(signal);
}

void ModemRecorder::Cell(const RILCELLTOWERINFO& cell) {
    current[CELL] = CellLine(cell);
    std::string step;
    for (int kind = 0; kind < KINDS; ++kind) {
        if (!current[kind].empty() && current[kind] != recorded[kind]) {
            step += current[kind] + "\n";
        }
    }
    if (step.empty()) {
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    wsprintfA(stamp, "step # %04u-%02u-%02u %02u:%02u:%02u\n", now.wYear, now.wMonth, now.wDay,
              now.wHour, now.wMinute, now.wSecond);
    std::string text = started ? "" : "# " + source + "\n";
    if (Append(text + stamp + step)) {
        started = true;
        for (int kind = 0; kind < KINDS; ++kind) {
            recorded[kind] = current[kind];
        }
    }
}

bool ModemRecorder::Append(const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}
