#include "Scenario.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

const char* const QUERY_NAMES[] = {"operator", "equipment", "signal", "cell", "devspecific"};

std::wstring Widen(const std::string& text) {
    std::wstring wide;
    for (unsigned char c : text) {
        wide += static_cast<wchar_t>(c);
    }
    return wide;
}

std::wstring LineError(const std::wstring& name, size_t line, const std::string& message) {
    return name + L"(" + std::to_wstring(line) + L"): " + Widen(message);
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) {
        return std::string();
    }
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// Decimal (negative values wrap as the radio's DWORDs do) or 0x hexadecimal.
bool ParseNumber(const std::string& text, DWORD& value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    char* end = nullptr;
    long long parsed = strtoll(text.c_str(), &end, 0);
    if (*end != '\0' || parsed < -2147483648LL || parsed > 0xFFFFFFFFLL) {
        return false;
    }
    value = static_cast<DWORD>(parsed);
    return true;
}

bool ParseQuery(const std::string& text, RilQuery& query) {
    for (int i = 0; i < static_cast<int>(RilQuery::Count); ++i) {
        if (text == QUERY_NAMES[i]) {
            query = static_cast<RilQuery>(i);
            return true;
        }
    }
    return false;
}

// "key=value" pairs; returns false with a message on the first bad one.
bool ParsePairs(std::istringstream& words, const char* const* keys, DWORD* values, DWORD& seen,
                std::string& message) {
    std::string word;
    while (words >> word) {
        size_t equals = word.find('=');
        std::string key = word.substr(0, equals);
        int index = -1;
        for (int i = 0; keys[i]; ++i) {
            if (key == keys[i]) {
                index = i;
            }
        }
        if (equals == std::string::npos || index < 0) {
            message = "unknown field '" + word + "'";
            return false;
        }
        if (!ParseNumber(word.substr(equals + 1), values[index])) {
            message = "bad number in '" + word + "'";
            return false;
        }
        seen |= 1u << index;
    }
    return true;
}

bool ParseCell(std::istringstream& words, RILCELLTOWERINFO& cell, std::string& message) {
    static const char* const keys[] = {"mcc",  "mnc",         "lac",    "id",
                                       "bcch", "bcchchannel", "params", nullptr};
    static const DWORD flags[] = {
        RIL_PARAM_CTI_MOBILECOUNTRYCODE, RIL_PARAM_CTI_MOBILENETWORKCODE,
        RIL_PARAM_CTI_LOCATIONAREACODE,  RIL_PARAM_CTI_CELLID,
        RIL_PARAM_CTI_NUMBCCH,           RIL_PARAM_CTI_BROADCASTCONTROLCHANNEL};
    DWORD values[7] = {};
    DWORD seen = 0;
    if (!ParsePairs(words, keys, values, seen, message)) {
        return false;
    }
    memset(&cell, 0, sizeof(cell));
    cell.cbSize = sizeof(cell);
    cell.dwMobileCountryCode = values[0];
    cell.dwMobileNetworkCode = values[1];
    cell.dwLocationAreaCode = values[2];
    cell.dwCellID = values[3];
    cell.dwNumBCCH = values[4];
    cell.dwBroadcastControlChannel = values[5];
    for (int i = 0; i < 6; ++i) {
        if (seen & (1u << i)) {
            cell.dwParams |= flags[i];
        }
    }
    if (seen & (1u << 6)) {
        cell.dwParams = values[6];
    }
    return true;
}

bool ParseSignal(std::istringstream& words, RILSIGNALQUALITY& signal, std::string& message) {
    static const char* const keys[] = {"current", "min", "max", "params", nullptr};
    static const DWORD flags[] = {RIL_PARAM_SQ_SIGNALSTRENGTH, RIL_PARAM_SQ_MINSIGNALSTRENGTH,
                                  RIL_PARAM_SQ_MAXSIGNALSTRENGTH};
    DWORD values[4] = {};
    DWORD seen = 0;
    if (!ParsePairs(words, keys, values, seen, message)) {
        return false;
    }
    memset(&signal, 0, sizeof(signal));
    signal.cbSize = sizeof(signal);
    signal.nSignalStrength = static_cast<int>(values[0]);
    signal.nMinSignalStrength = static_cast<int>(values[1]);
    signal.nMaxSignalStrength = static_cast<int>(values[2]);
    for (int i = 0; i < 3; ++i) {
        if (seen & (1u << i)) {
            signal.dwParams |= flags[i];
        }
    }
    if (seen & (1u << 3)) {
        signal.dwParams = values[3];
    }
    return true;
}

// "none" clears the flag; "text" in quotes is taken literally (so "" and "none" are possible).
bool ParseOperator(const std::string& rest, RILOPERATORNAMES& names, std::string& message) {
    memset(&names, 0, sizeof(names));
    names.cbSize = sizeof(names);
    if (rest == "none") {
        return true;
    }
    std::string text = rest;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    if (text.size() >= MAXLENGTH_OPERATOR_NUMERIC) {
        message = "operator name longer than 15 characters";
        return false;
    }
    memcpy(names.szNumName, text.c_str(), text.size());
    names.dwParams = RIL_PARAM_ON_NUMNAME;
    return true;
}

void SetCellField(const std::wstring& text, DWORD flag, DWORD& field, DWORD& params) {
    if (text != L"-1") {
        field = static_cast<DWORD>(wcstol(text.c_str(), nullptr, 10));
        params |= flag;
    }
}

bool IsDecimal(const std::wstring& text) {
    if (text.empty() || text.size() > 11) {
        return false;
    }
    size_t start = text[0] == L'-' ? 1 : 0;
    return start < text.size() &&
           text.find_first_not_of(L"0123456789", start) == std::wstring::npos;
}

} // namespace

ScenarioStep::ScenarioStep() {
    memset(&operatorNames, 0, sizeof(operatorNames));
    memset(&cellTower, 0, sizeof(cellTower));
    memset(&signalQuality, 0, sizeof(signalQuality));
    memset(&equipmentState, 0, sizeof(equipmentState));
    operatorNames.cbSize = sizeof(operatorNames);
    cellTower.cbSize = sizeof(cellTower);
    signalQuality.cbSize = sizeof(signalQuality);
    equipmentState.cbSize = sizeof(equipmentState);
    equipmentState.dwParams = RIL_PARAM_EQUIPMENTSTATE_EQSTATE;
    for (int i = 0; i < static_cast<int>(RilQuery::Count); ++i) {
        answers[i] = Answer::Result;
        failureCodes[i] = RIL_RESULT_ERROR;
    }
}

ScenarioStep ScenarioStep::NextStep() const {
    ScenarioStep next = *this;
    for (int i = 0; i < static_cast<int>(RilQuery::Count); ++i) {
        next.answers[i] = Answer::Result;
    }
    return next;
}

Scenario Scenario::Default() {
    Scenario scenario;
    ScenarioStep step;
    std::string unused;
    ParseOperator("23001", step.operatorNames, unused);
    std::istringstream cell("lac=2051 id=13962 bcch=1");
    ParseCell(cell, step.cellTower, unused);
    std::istringstream signal("current=-75 min=-113 max=-51");
    ParseSignal(signal, step.signalQuality, unused);
    step.equipmentState.dwEqState = RIL_EQSTATE_FULL;
    scenario.steps.push_back(step);
    return scenario;
}

bool Scenario::Load(const std::wstring& path, std::wstring& error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error =
            path + L": cannot open the scenario (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    // Scenarios and cell logs are small; a runaway file is cut off rather than read whole.
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0 &&
           bytes.size() < 16 * 1024 * 1024) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    source = bytes;
    return Parse(bytes, path, error);
}

bool Scenario::Parse(const std::string& bytes, const std::wstring& name, std::wstring& error) {
    steps.clear();
    bool parsed;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        memcpy(&text[0], bytes.data() + 2, text.size() * 2);
        parsed = ParseCellLog(text, name, error);
    } else {
        parsed = ParseText(bytes, name, error);
    }
    if (parsed && steps.empty()) {
        error = name + L": the scenario has no step";
        return false;
    }
    return parsed;
}

bool Scenario::ParseText(const std::string& text, const std::wstring& name, std::wstring& error) {
    std::istringstream lines(text);
    std::string raw;
    size_t number = 0;
    ScenarioStep current;
    bool open = false;
    while (std::getline(lines, raw)) {
        ++number;
        std::string line = Trim(raw.substr(0, raw.find('#')));
        if (line.empty()) {
            continue;
        }
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        std::string rest = Trim(line.substr(keyword.size()));
        std::string message;
        bool valueLine = keyword == "operator" || keyword == "cell" || keyword == "signal" ||
                         keyword == "equipment" || keyword == "noanswer" || keyword == "fail";
        if (valueLine && !open) {
            // A value before the first "step" begins the first step.
            open = true;
            steps.push_back(current);
        }
        ScenarioStep& step = open ? steps.back() : current;
        if (keyword == "step") {
            if (!rest.empty()) {
                message = "'step' takes no value";
            } else {
                steps.push_back(open ? steps.back().NextStep() : current);
                open = true;
            }
        } else if (keyword == "mode") {
            std::string kind, period, extra;
            words >> kind >> period >> extra;
            if (kind == "cycle" && period.empty()) {
                timed = false;
            } else if (kind == "time" && extra.empty() &&
                       (period.empty() || (ParseNumber(period, stepMs) && stepMs > 0))) {
                timed = true;
            } else {
                message = "expected 'mode cycle' or 'mode time <milliseconds>'";
            }
        } else if (keyword == "latency") {
            if (!ParseNumber(rest, latencyMs) || latencyMs > 60000) {
                message = "expected 'latency <milliseconds>' (at most 60000)";
            }
        } else if (keyword == "loop") {
            loop = true;
        } else if (keyword == "init") {
            std::string what, count, extra;
            words >> what >> count >> extra;
            if (what != "fail" || !extra.empty()) {
                message = "expected 'init fail' or 'init fail <count>'";
            } else if (count.empty()) {
                initFailures = ALWAYS;
            } else if (!ParseNumber(count, initFailures)) {
                message = "bad count '" + count + "'";
            }
        } else if (keyword == "operator") {
            ParseOperator(rest, step.operatorNames, message);
        } else if (keyword == "cell") {
            if (rest == "none") {
                step.cellTower.dwParams = 0;
            } else {
                ParseCell(words, step.cellTower, message);
            }
        } else if (keyword == "signal") {
            ParseSignal(words, step.signalQuality, message);
        } else if (keyword == "equipment") {
            if (rest == "none") {
                step.equipmentState.dwParams = 0;
            } else if (ParseNumber(rest, step.equipmentState.dwEqState)) {
                step.equipmentState.dwParams = RIL_PARAM_EQUIPMENTSTATE_EQSTATE;
            } else {
                message = "expected 'equipment <state>' or 'equipment none'";
            }
        } else if (keyword == "noanswer" || keyword == "fail") {
            std::string which, code, extra;
            words >> which >> code >> extra;
            RilQuery query;
            DWORD failure = RIL_RESULT_ERROR;
            if (!ParseQuery(which, query) || !extra.empty() ||
                (keyword == "noanswer" && !code.empty()) ||
                (!code.empty() && !ParseNumber(code, failure))) {
                message = "expected '" + keyword + " operator|equipment|signal|cell|devspecific'" +
                          (keyword == "fail" ? " and an optional result code" : "");
            } else {
                int index = static_cast<int>(query);
                step.answers[index] = keyword == "fail" ? Answer::Failure : Answer::Never;
                step.failureCodes[index] = failure;
            }
        } else {
            message = "unknown keyword '" + keyword + "'";
        }
        if (!message.empty()) {
            error = LineError(name, number, message);
            steps.clear();
            return false;
        }
    }
    return true;
}

bool Scenario::ParseCellLog(const std::wstring& text, const std::wstring& name,
                            std::wstring& error) {
    std::wistringstream lines(text);
    std::wstring line;
    size_t number = 0;
    while (std::getline(lines, line)) {
        ++number;
        while (!line.empty() && (line.back() == L'\r' || line.back() == L' ')) {
            line.pop_back();
        }
        // Error records carry no cell.
        if (line.empty() || line.compare(0, 8, L"ERROR:: ") == 0) {
            continue;
        }
        std::vector<std::wstring> fields;
        std::wistringstream parts(line);
        std::wstring field;
        while (std::getline(parts, field, L';')) {
            fields.push_back(field);
        }
        bool valid = fields.size() == 6 && IsDecimal(fields[2]) && IsDecimal(fields[3]) &&
                     IsDecimal(fields[4]) && fields[5].size() == 5;
        if (!valid) {
            error =
                LineError(name, number, "not a cell log line (date;time;lac;cell;bcch;network;)");
            steps.clear();
            return false;
        }
        ScenarioStep step;
        RILCELLTOWERINFO& cell = step.cellTower;
        SetCellField(fields[2], RIL_PARAM_CTI_LOCATIONAREACODE, cell.dwLocationAreaCode,
                     cell.dwParams);
        SetCellField(fields[3], RIL_PARAM_CTI_CELLID, cell.dwCellID, cell.dwParams);
        SetCellField(fields[4], RIL_PARAM_CTI_NUMBCCH, cell.dwNumBCCH, cell.dwParams);
        if (fields[5] != L"-----") {
            for (size_t i = 0; i < 5; ++i) {
                step.operatorNames.szNumName[i] = static_cast<char>(fields[5][i]);
            }
            step.operatorNames.dwParams = RIL_PARAM_ON_NUMNAME;
        }
        step.equipmentState.dwEqState = RIL_EQSTATE_FULL;
        steps.push_back(step);
    }
    return true;
}

const ScenarioStep& Scenario::StepAt(DWORD index) const {
    if (index >= steps.size()) {
        index = loop ? index % steps.size() : static_cast<DWORD>(steps.size() - 1);
    }
    return steps[index];
}

const ScenarioStep& Scenario::StepForCycle(DWORD cycle) const {
    return StepAt(cycle);
}

const ScenarioStep& Scenario::StepForTime(DWORD elapsedMs) const {
    return StepAt(elapsedMs / stepMs);
}
