#include "SimModem.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>

namespace {

const char* const REGISTRATION_NAMES[] = {"+CREG", "+CGREG", "+CEREG"};

const struct {
    const char* dialect;
    const char* manufacturer;
    const char* command;
} MAKERS[] = {
    {"generic", "Kestrel", ""},
    {"quectel", "Quectel", "AT+QENG=\"SERVINGCELL\""},
    {"simcom", "SIMCOM_Ltd", "AT+CPSI?"},
    {"telit", "Telit", "AT#SERVINFO"},
    {"cinterion", "Cinterion", "AT^SMONI"},
};

std::string Upper(const std::string& text) {
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

std::string Format(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

bool Has(const RILCELLTOWERINFO& cell, DWORD flag) {
    return (cell.dwParams & flag) != 0;
}

int Clamp(int value, int low, int high) {
    return value < low ? low : value > high ? high : value;
}

// The step's network as country and network code.
void Network(const ScenarioStep& step, std::string& mcc, std::string& mnc) {
    std::string name(step.operatorNames.szNumName);
    if (Has(step.cellTower, RIL_PARAM_CTI_MOBILECOUNTRYCODE)) {
        mcc = std::to_string(step.cellTower.dwMobileCountryCode);
        mnc = Format("%02u", static_cast<unsigned>(step.cellTower.dwMobileNetworkCode));
    } else if ((step.operatorNames.dwParams & RIL_PARAM_ON_NUMNAME) && name.size() >= 5) {
        mcc = name.substr(0, 3);
        mnc = name.substr(3);
    } else {
        mcc = "001";
        mnc = "01";
    }
}

} // namespace

bool SimModem::Configure(const std::string& name, const std::string& technology) {
    static const char* const rats[] = {"gsm", "umts", "lte"};
    auto maker = std::find_if(std::begin(MAKERS), std::end(MAKERS),
                              [&](const auto& m) { return name == m.dialect; });
    auto found = std::find(std::begin(rats), std::end(rats), technology);
    if (maker == std::end(MAKERS) || found == std::end(rats)) {
        return false;
    }
    dialect = name;
    rat = static_cast<Rat>(found - std::begin(rats));
    return true;
}

RilQuery SimModem::QueryOf(const std::string& command) const {
    std::string upper = Upper(command);
    if (upper == "AT+COPS?") {
        return RilQuery::Operator;
    }
    if (upper == "AT+CFUN?") {
        return RilQuery::Equipment;
    }
    if (upper == "AT+CSQ" || upper == "AT+CESQ") {
        return RilQuery::Signal;
    }
    const auto* maker = std::find_if(std::begin(MAKERS), std::end(MAKERS),
                                     [&](const auto& m) { return dialect == m.dialect; });
    if (upper == "AT+CREG?" || upper == "AT+CGREG?" || upper == "AT+CEREG?" ||
        (*maker->command && upper == maker->command)) {
        return RilQuery::CellTower;
    }
    return RilQuery::Count;
}

std::string SimModem::ErrorCode() const {
    return errorFormat == 0 ? "ERROR" : "+CME ERROR: 30";
}

void SimModem::Answer(const std::string& command, const ScenarioStep& step,
                      std::vector<std::string>& lines, std::string& final) {
    std::string upper = Upper(command);
    final = "OK";
    int value = 0;
    const auto* maker = std::find_if(std::begin(MAKERS), std::end(MAKERS),
                                     [&](const auto& m) { return dialect == m.dialect; });
    if (upper == "AT" || upper == "ATV1" || upper == "ATV0") {
        return;
    }
    if (upper == "ATE0" || upper == "ATE1") {
        echo = upper == "ATE1";
        return;
    }
    if (sscanf(upper.c_str(), "AT+CMEE=%d", &value) == 1) {
        errorFormat = value;
        return;
    }
    for (int kind = 0; kind < 3; ++kind) {
        std::string name = REGISTRATION_NAMES[kind];
        if (upper.compare(0, name.size() + 3, "AT" + name + "=") == 0) {
            registrationReports[kind] = atoi(upper.c_str() + name.size() + 3);
            return;
        }
        if (upper == "AT" + name + "?") {
            lines.push_back(Registration(kind, step));
            return;
        }
    }
    if (sscanf(upper.c_str(), "AT+COPS=3,%d", &value) == 1) {
        operatorFormat = value;
        return;
    }
    if (upper == "AT+COPS?") {
        lines.push_back(Operator(step));
    } else if (upper == "AT+CSQ" || upper == "AT+CESQ") {
        lines.push_back(Signal(step, upper == "AT+CESQ"));
    } else if (upper == "AT+CFUN?") {
        static const int functionality[] = {0, 0, 1, 2, 3, 4};
        DWORD state = step.equipmentState.dwEqState;
        lines.push_back(Format("+CFUN: %d", state < 6 ? functionality[state] : 0));
    } else if (upper == "AT+CGMI") {
        lines.push_back(maker->manufacturer);
    } else if (upper == "AT+CGMM") {
        lines.push_back("Kestrel modem simulator (" + dialect + ")");
    } else if (*maker->command && upper == maker->command) {
        lines.push_back(ServingCell(step));
    } else {
        final = ErrorCode();
    }
}

std::string SimModem::Registration(int kind, const ScenarioStep& step) const {
    const RILCELLTOWERINFO& cell = step.cellTower;
    bool camped = Has(cell, RIL_PARAM_CTI_LOCATIONAREACODE) || Has(cell, RIL_PARAM_CTI_CELLID);
    // LTE registers for EPS only; 2G and 3G for CS and PS.
    bool active = (rat == Lte) == (kind == 2);
    int n = registrationReports[kind];
    std::string head = Format("%s: %d,", REGISTRATION_NAMES[kind], n);
    if (!camped) {
        return head + "2";
    }
    if (!active) {
        return head + "0";
    }
    if (n < 2) {
        return head + "1";
    }
    static const int technology[] = {0, 2, 7};
    std::string area = Has(cell, RIL_PARAM_CTI_LOCATIONAREACODE)
                           ? Format("%04X", static_cast<unsigned>(cell.dwLocationAreaCode))
                           : "FFFE";
    std::string id = Has(cell, RIL_PARAM_CTI_CELLID) ? Format(rat == Gsm ? "%04X" : "%08X",
                                                              static_cast<unsigned>(cell.dwCellID))
                                                     : "FFFFFFFF";
    return head + Format("1,\"%s\",\"%s\",%d", area.c_str(), id.c_str(), technology[rat]);
}

std::string SimModem::Operator(const ScenarioStep& step) const {
    static const int technology[] = {0, 2, 7};
    if (!(step.operatorNames.dwParams & RIL_PARAM_ON_NUMNAME)) {
        return "+COPS: 0";
    }
    std::string name(step.operatorNames.szNumName);
    if (operatorFormat != 2) {
        name = "Kestrel " + name;
    }
    return Format("+COPS: 0,%d,\"%s\",%d", operatorFormat == 2 ? 2 : 0, name.c_str(),
                  technology[rat]);
}

std::string SimModem::Signal(const ScenarioStep& step, bool extended) const {
    const RILSIGNALQUALITY& signal = step.signalQuality;
    // No receiver reports a level this strong: the scenario's way of saying "not known".
    bool known = (signal.dwParams & RIL_PARAM_SQ_SIGNALSTRENGTH) && signal.nSignalStrength < -20;
    int dbm = signal.nSignalStrength;
    if (!extended) {
        // A modem that only knows LTE has no +CSQ level.
        if (!known || rat == Lte) {
            return "+CSQ: 99,99";
        }
        return Format("+CSQ: %d,99", Clamp((dbm + 113) / 2, 0, 31));
    }
    if (!known) {
        return "+CESQ: 99,99,255,255,255,255";
    }
    if (rat == Lte) {
        return Format("+CESQ: 99,99,255,255,20,%d", Clamp(dbm + 141, 0, 97));
    }
    if (rat == Umts) {
        return Format("+CESQ: 99,99,%d,30,255,255", Clamp(dbm + 121, 0, 96));
    }
    return Format("+CESQ: %d,0,255,255,255,255", Clamp(dbm + 111, 0, 63));
}

std::string SimModem::ServingCell(const ScenarioStep& step) const {
    const RILCELLTOWERINFO& cell = step.cellTower;
    bool camped = Has(cell, RIL_PARAM_CTI_LOCATIONAREACODE) || Has(cell, RIL_PARAM_CTI_CELLID);
    std::string mcc, mnc;
    Network(step, mcc, mnc);
    unsigned area = Has(cell, RIL_PARAM_CTI_LOCATIONAREACODE) ? cell.dwLocationAreaCode : 0xFFFE;
    unsigned id = Has(cell, RIL_PARAM_CTI_CELLID) ? cell.dwCellID : 0xFFFF;
    bool hasChannel = Has(cell, RIL_PARAM_CTI_NUMBCCH);
    std::string channel = hasChannel ? std::to_string(cell.dwNumBCCH) : "-";
    const char* operatorCode = step.operatorNames.szNumName;
    static const char* const generations[] = {"2G", "3G", "4G"};
    if (dialect == "quectel") {
        if (!camped) {
            return "+QENG: \"servingcell\",\"SEARCH\"";
        }
        if (rat == Gsm) {
            return Format("+QENG: \"servingcell\",\"NOCONN\",\"GSM\",%s,%s,%X,%X,35,%s,-,-71,255,"
                          "255,0,53,179,1,-,-,-,-,-,-,-,-,-,\"-\"",
                          mcc.c_str(), mnc.c_str(), area, id, channel.c_str());
        }
        if (rat == Umts) {
            return Format("+QENG: \"servingcell\",\"NOCONN\",\"WCDMA\",%s,%s,%X,%X,%s,58,0,-78,"
                          "-3,-,-,-,-,-",
                          mcc.c_str(), mnc.c_str(), area, id, channel.c_str());
        }
        return Format("+QENG: \"servingcell\",\"NOCONN\",\"LTE\",\"FDD\",%s,%s,%X,188,%s,20,3,3,"
                      "%X,-104,-9,-78,11,23",
                      mcc.c_str(), mnc.c_str(), id, channel.c_str(), area);
    }
    if (dialect == "simcom") {
        if (!camped) {
            return "+CPSI: NO SERVICE,Online";
        }
        if (rat == Gsm) {
            return Format("+CPSI: GSM,Online,%s-%s,0x%04x,%u,%s EGSM 900,-83,0,24-24", mcc.c_str(),
                          mnc.c_str(), area, id, channel.c_str());
        }
        if (rat == Umts) {
            return Format(
                "+CPSI: WCDMA,Online,%s-%s,0x%04X,%u,WCDMA 2100,354,%s,0,5.5,55,37,60,500",
                mcc.c_str(), mnc.c_str(), area, id, channel.c_str());
        }
        return Format("+CPSI: LTE,Online,%s-%s,0x%04X,%u,46,EUTRAN-BAND20,%s,3,3,-178,-1089,-742,8",
                      mcc.c_str(), mnc.c_str(), area, id, channel.c_str());
    }
    if (dialect == "telit") {
        if (!camped || !hasChannel) {
            return Format("#SERVINFO: ,,\"Kestrel\",\"%s\",,%04X,64,3,,\"II\"", operatorCode, area);
        }
        static const char* const tails[] = {"61,%04X,00,1,,\"II\",01,6",
                                            "58,%04X,64,3,-78,\"II\",01", "188,%04X,32,3,-94"};
        return Format("#SERVINFO: %s,-70,\"Kestrel\",\"%s\",", channel.c_str(), operatorCode) +
               Format(tails[rat], area);
    }
    // Cinterion
    if (!camped) {
        return Format("^SMONI: %s,SEARCH,SEARCH", generations[rat]);
    }
    if (rat == Gsm) {
        return Format("^SMONI: 2G,%s,-61,%s,%s,%04X,%04X,33,33,3,6,G,NOCONN", channel.c_str(),
                      mcc.c_str(), mnc.c_str(), area, id);
    }
    if (rat == Umts) {
        return Format("^SMONI: 3G,%s,131,-7.5,-103,%s,%s,%04X,%07X,21,11,NOCONN", channel.c_str(),
                      mcc.c_str(), mnc.c_str(), area, id);
    }
    return Format("^SMONI: 4G,%s,20,10,10,FDD,%s,%s,%04X,%07X,350,33,-94,-7,NOCONN",
                  channel.c_str(), mcc.c_str(), mnc.c_str(), area, id);
}
