#include "AtParse.h"

#include <cstring>

namespace AtParse {

namespace {

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return std::string();
    }
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

bool IsQuoted(const std::string& field) {
    return field.size() >= 2 && field.front() == '"' && field.back() == '"';
}

void SetSignal(RILSIGNALQUALITY& signal, int current, int minimum, int maximum) {
    memset(&signal, 0, sizeof(signal));
    signal.cbSize = sizeof(signal);
    signal.nSignalStrength = current;
    signal.nMinSignalStrength = minimum;
    signal.nMaxSignalStrength = maximum;
    signal.dwParams = RIL_PARAM_SQ_MINSIGNALSTRENGTH | RIL_PARAM_SQ_MAXSIGNALSTRENGTH;
}

} // namespace

bool StartsWith(const std::string& line, const char* prefix) {
    return line.compare(0, strlen(prefix), prefix) == 0;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t colon = line.find(':');
    if (colon == std::string::npos) {
        return fields;
    }
    std::string field;
    bool quoted = false;
    for (size_t i = colon + 1; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            quoted = !quoted;
        }
        if (c == ',' && !quoted) {
            fields.push_back(Trim(field));
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(Trim(field));
    return fields;
}

std::string Unquote(const std::string& field) {
    return IsQuoted(field) ? field.substr(1, field.size() - 2) : field;
}

bool Hex(const std::string& field, DWORD& value) {
    std::string text = Trim(Unquote(field));
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text = text.substr(2);
    }
    if (text.empty() || text.size() > 8 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return false;
    }
    value = strtoul(text.c_str(), nullptr, 16);
    return true;
}

bool Decimal(const std::string& field, long& value) {
    std::string text = Trim(Unquote(field));
    size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (text.size() == digits || text.size() - digits > 9 ||
        text.find_first_not_of("0123456789", digits) != std::string::npos) {
        return false;
    }
    value = strtol(text.c_str(), nullptr, 10);
    return true;
}

bool LeadingDecimal(const std::string& field, long& value) {
    std::string text = Trim(Unquote(field));
    return Decimal(text.substr(0, text.find(' ')), value);
}

bool IsRegistrationRead(const std::string& line) {
    std::vector<std::string> fields = Fields(line);
    long n = 0, stat = 0;
    // <stat> is a small decimal; a quoted, empty, hex or long second field is a location code.
    return fields.size() >= 2 && Decimal(fields[0], n) && !IsQuoted(fields[1]) &&
           fields[1].size() <= 3 && Decimal(fields[1], stat) && stat >= 0 && stat <= 11;
}

bool ParseRegistration(const std::string& line, Registration& registration) {
    registration = Registration();
    if (!IsRegistrationRead(line)) {
        return false;
    }
    std::vector<std::string> fields = Fields(line);
    long stat = 0;
    Decimal(fields[0], registration.reports);
    Decimal(fields[1], stat);
    // Home, roaming, and the later releases' "SMS only" and "CSFB not preferred" variants.
    registration.registered =
        stat == 1 || stat == 5 || stat == 6 || stat == 7 || stat == 9 || stat == 10;
    if (registration.registered && fields.size() >= 4) {
        DWORD area = 0, cell = 0;
        // FFFE and FFFF are the reserved "no valid area" codes (FFFFFE and FFFFFF for 5GS's
        // 24-bit TAC); an all-ones cell id is the placeholder some modems print before they
        // have read the cell's identity. A code wider than its field is no network's: so is
        // NR's 36-bit cell identity for this radio layer, whose area is still reported.
        DWORD noArea = StartsWith(line, "+C5GREG:") ? 0xFFFFFE : 0xFFFE;
        registration.hasArea = Hex(fields[2], area) && area < noArea;
        registration.hasCell = Hex(fields[3], cell) && cell != 0xFFFF && cell <= MAX_CELL_ID;
        registration.area = registration.hasArea ? area : 0;
        registration.cellId = registration.hasCell ? cell : 0;
    }
    return true;
}

bool ParseOperator(const std::string& line, RILOPERATORNAMES& names, int& format) {
    memset(&names, 0, sizeof(names));
    names.cbSize = sizeof(names);
    format = -1;
    std::vector<std::string> fields = Fields(line);
    long mode = 0, number = 0;
    if (!StartsWith(line, "+COPS:") || fields.empty() || !Decimal(fields[0], mode)) {
        return false;
    }
    // "+COPS: 0": no operator selected.
    if (fields.size() < 3) {
        return true;
    }
    if (!Decimal(fields[1], number) || number < 0 || number > 2) {
        return false;
    }
    format = static_cast<int>(number);
    std::string name = Unquote(fields[2]);
    if (name.empty()) {
        return true;
    }
    if (format == 2) {
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        // A country code and a network code of two or three digits; anything else is no
        // network's id.
        if (name.size() < 5 || name.size() > 6) {
            return true;
        }
        memcpy(names.szNumName, name.data(), name.size());
        names.dwParams = RIL_PARAM_ON_NUMNAME;
    } else if (format == 1) {
        strncpy(names.szShortName, name.c_str(), MAXLENGTH_OPERATOR_SHORT - 1);
        names.dwParams = RIL_PARAM_ON_SHORTNAME;
    } else {
        strncpy(names.szLongName, name.c_str(), MAXLENGTH_OPERATOR_LONG - 1);
        names.dwParams = RIL_PARAM_ON_LONGNAME;
    }
    return true;
}

std::string Identity(const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return "?";
    }
    const std::string& text = lines.back();
    if (StartsWith(text, "+CGM")) {
        std::vector<std::string> fields = Fields(text);
        return fields.empty() ? "?" : Unquote(fields[0]);
    }
    return text;
}

bool ParseCsq(const std::string& line, RILSIGNALQUALITY& signal) {
    std::vector<std::string> fields = Fields(line);
    long rssi = 0;
    if (!StartsWith(line, "+CSQ:") || fields.empty() || !Decimal(fields[0], rssi)) {
        return false;
    }
    SetSignal(signal, 0, -113, -51);
    if (rssi >= 0 && rssi <= 31) {
        signal.nSignalStrength = -113 + 2 * static_cast<int>(rssi);
        signal.dwParams |= RIL_PARAM_SQ_SIGNALSTRENGTH;
    }
    return true;
}

bool ParseCesq(const std::string& line, RILSIGNALQUALITY& signal) {
    std::vector<std::string> fields = Fields(line);
    long value[9] = {0, 0, 0, 0, 0, 0, 255, 255, 255};
    if (!StartsWith(line, "+CESQ:") || fields.size() < 6) {
        return false;
    }
    // Release 15 adds NR's SS-RSRQ, SS-RSRP and SS-SINR.
    size_t count = fields.size() >= 9 ? 9 : 6;
    for (size_t i = 0; i < count; ++i) {
        if (!Decimal(fields[i], value[i])) {
            return false;
        }
    }
    // Each index n stands for the 1 dB range that starts at base + n.
    if (value[7] >= 1 && value[7] <= 126) {
        SetSignal(signal, -157 + static_cast<int>(value[7]), -156, -31);
    } else if (value[5] >= 0 && value[5] <= 97) {
        SetSignal(signal, -141 + static_cast<int>(value[5]), -141, -44);
    } else if (value[2] >= 0 && value[2] <= 96) {
        SetSignal(signal, -121 + static_cast<int>(value[2]), -121, -25);
    } else if (value[0] >= 0 && value[0] <= 63) {
        SetSignal(signal, -111 + static_cast<int>(value[0]), -111, -48);
    } else {
        SetSignal(signal, 0, -113, -51);
        return true;
    }
    signal.dwParams |= RIL_PARAM_SQ_SIGNALSTRENGTH;
    return true;
}

bool ParseCfun(const std::string& line, RILEQUIPMENTSTATE& state) {
    std::vector<std::string> fields = Fields(line);
    long fun = 0;
    if (!StartsWith(line, "+CFUN:") || fields.empty() || !Decimal(fields[0], fun)) {
        return false;
    }
    memset(&state, 0, sizeof(state));
    state.cbSize = sizeof(state);
    static const DWORD states[] = {RIL_EQSTATE_MINIMUM, RIL_EQSTATE_FULL, RIL_EQSTATE_DISABLETX,
                                   RIL_EQSTATE_DISABLERX, RIL_EQSTATE_DISABLETXANDRX};
    // The makers' intermediate states 5..127 have no RIL equivalent.
    if (fun >= 0 && fun <= 4) {
        state.dwEqState = states[fun];
        state.dwParams = RIL_PARAM_EQUIPMENTSTATE_EQSTATE;
    }
    return true;
}

} // namespace AtParse
