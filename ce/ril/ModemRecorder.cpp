#include "ModemRecorder.h"

namespace {

void Key(std::string& line, const char* key, long long value) {
    line += " ";
    line += key;
    line += "=" + std::to_string(value);
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
    std::string line = "signal";
    if (signal.dwParams & RIL_PARAM_SQ_SIGNALSTRENGTH) {
        Key(line, "current", signal.nSignalStrength);
    }
    if (signal.dwParams & RIL_PARAM_SQ_MINSIGNALSTRENGTH) {
        Key(line, "min", signal.nMinSignalStrength);
    }
    if (signal.dwParams & RIL_PARAM_SQ_MAXSIGNALSTRENGTH) {
        Key(line, "max", signal.nMaxSignalStrength);
    }
    return line == "signal" ? "signal params=0" : line;
}

std::string ModemRecorder::CellLine(const RILCELLTOWERINFO& cell) {
    std::string line = "cell";
    if (cell.dwParams & RIL_PARAM_CTI_MOBILECOUNTRYCODE) {
        Key(line, "mcc", cell.dwMobileCountryCode);
    }
    if (cell.dwParams & RIL_PARAM_CTI_MOBILENETWORKCODE) {
        Key(line, "mnc", cell.dwMobileNetworkCode);
    }
    if (cell.dwParams & RIL_PARAM_CTI_LOCATIONAREACODE) {
        Key(line, "lac", cell.dwLocationAreaCode);
    }
    if (cell.dwParams & RIL_PARAM_CTI_CELLID) {
        Key(line, "id", cell.dwCellID);
    }
    if (cell.dwParams & RIL_PARAM_CTI_NUMBCCH) {
        Key(line, "bcch", cell.dwNumBCCH);
    }
    return line == "cell" ? "cell none" : line;
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
