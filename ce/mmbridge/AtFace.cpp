#include "AtFace.h"

#include <ModemManager.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// 27.007's access technologies (<AcT>) of the registration reports.
const int ACT_GSM = 0;
const int ACT_UTRAN = 2;
const int ACT_EUTRAN = 7;
const int ACT_NR_5GCN = 11;

const uint32_t GSM_FAMILY = MM_MODEM_ACCESS_TECHNOLOGY_GSM |
                            MM_MODEM_ACCESS_TECHNOLOGY_GSM_COMPACT |
                            MM_MODEM_ACCESS_TECHNOLOGY_GPRS | MM_MODEM_ACCESS_TECHNOLOGY_EDGE;
const uint32_t UMTS_FAMILY = MM_MODEM_ACCESS_TECHNOLOGY_UMTS | MM_MODEM_ACCESS_TECHNOLOGY_HSDPA |
                             MM_MODEM_ACCESS_TECHNOLOGY_HSUPA | MM_MODEM_ACCESS_TECHNOLOGY_HSPA |
                             MM_MODEM_ACCESS_TECHNOLOGY_HSPA_PLUS;
const uint32_t LTE_FAMILY = MM_MODEM_ACCESS_TECHNOLOGY_LTE | MM_MODEM_ACCESS_TECHNOLOGY_LTE_CAT_M |
                            MM_MODEM_ACCESS_TECHNOLOGY_LTE_NB_IOT;

// Which registration names the serving cell: the core network the modem is attached to.
enum class Domain { None, Circuit, Eps, FiveGs };

Domain DomainOf(uint32_t tech) {
    if (tech & LTE_FAMILY) {
        return Domain::Eps; // NR beside LTE (non-standalone) is anchored on the LTE cell
    }
    if (tech & MM_MODEM_ACCESS_TECHNOLOGY_5GNR) {
        return Domain::FiveGs;
    }
    return tech & (GSM_FAMILY | UMTS_FAMILY) ? Domain::Circuit : Domain::None;
}

int AccessTechnology(uint32_t tech) {
    switch (DomainOf(tech)) {
    case Domain::Eps:
        return ACT_EUTRAN;
    case Domain::FiveGs:
        return ACT_NR_5GCN;
    default:
        return tech & UMTS_FAMILY ? ACT_UTRAN : ACT_GSM;
    }
}

bool Registered(uint32_t stat) {
    return stat == MM_MODEM_3GPP_REGISTRATION_STATE_HOME ||
           stat == MM_MODEM_3GPP_REGISTRATION_STATE_ROAMING ||
           stat == MM_MODEM_3GPP_REGISTRATION_STATE_HOME_SMS_ONLY ||
           stat == MM_MODEM_3GPP_REGISTRATION_STATE_ROAMING_SMS_ONLY ||
           stat == MM_MODEM_3GPP_REGISTRATION_STATE_HOME_CSFB_NOT_PREFERRED ||
           stat == MM_MODEM_3GPP_REGISTRATION_STATE_ROAMING_CSFB_NOT_PREFERRED;
}

// At most 16 hex digits, nothing else; false for an empty field.
bool Hex(const std::string& text, unsigned long long& value) {
    if (text.empty() || text.size() > 16 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(c); })) {
        return false;
    }
    value = std::strtoull(text.c_str(), nullptr, 16);
    return true;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string Upper(const std::string& text) {
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

std::string Format(const char* format, unsigned long long a, unsigned long long b = 0,
                   unsigned long long c = 0) {
    char text[96];
    std::snprintf(text, sizeof(text), format, a, b, c);
    return text;
}

int Clamp(double value, int low, int high) {
    return std::min(high, std::max(low, static_cast<int>(std::lround(value))));
}

std::string Information(const std::string& line) {
    return "\r\n" + line + "\r\n\r\nOK\r\n";
}

} // namespace

bool AtFace::Answer(const std::string& line, std::string& answer) {
    std::string command = Upper(line);
    ModemSnapshot modem;
    answer = "\r\nOK\r\n";
    // The set-up the AT backend sends; what it sets is how this face answers anyway.
    if (command == "AT" || command == "ATE0" || command == "ATV1" || command == "AT+CMEE=1" ||
        command == "AT+CREG=2" || command == "AT+CGREG=2" || command == "AT+CEREG=2" ||
        command == "AT+C5GREG=2" || command == "AT+COPS=3,2") {
        return true;
    }
    if (command == "AT+CGMI") {
        answer = Information("ModemManager");
        return true;
    }
    if (command == "AT+CGMM") {
        if (!source.Read(ModemPart::Identity, modem)) {
            return false;
        }
        answer = Information(modem.manufacturer + " " + modem.model);
        return true;
    }
    if (command == "AT+COPS?") {
        if (!source.Read(ModemPart::Operator, modem)) {
            return false;
        }
        answer = Information(modem.operatorCode.empty()
                                 ? "+COPS: 0"
                                 : "+COPS: 0,2,\"" + modem.operatorCode + "\"," +
                                       std::to_string(AccessTechnology(modem.accessTech)));
        return true;
    }
    if (command == "AT+CFUN?") {
        if (!source.Read(ModemPart::Equipment, modem)) {
            return false;
        }
        int fun = 1;
        if (modem.power == MM_MODEM_POWER_STATE_OFF) {
            fun = 0;
        } else if (modem.power == MM_MODEM_POWER_STATE_LOW ||
                   modem.state == MM_MODEM_STATE_DISABLED ||
                   modem.state == MM_MODEM_STATE_DISABLING) {
            fun = 4; // a disabled modem has its radio off
        }
        answer = Information("+CFUN: " + std::to_string(fun));
        return true;
    }
    if (command == "AT+CSQ" || command == "AT+CESQ") {
        if (!source.Read(ModemPart::Signal, modem)) {
            return false;
        }
        answer = Information(Signal(command == "AT+CESQ", modem));
        return true;
    }
    for (const char* name : {"+CREG", "+CGREG", "+CEREG", "+C5GREG"}) {
        if (command == std::string("AT") + name + "?") {
            if (!source.Read(ModemPart::Registration, modem)) {
                return false;
            }
            answer = Information(Registration(name, modem));
            return true;
        }
    }
    if (command == "AT+MMCELL?") {
        if (!source.Read(ModemPart::ServingCell, modem)) {
            return false;
        }
        int act = modem.cellType == MM_CELL_TYPE_GSM    ? ACT_GSM
                  : modem.cellType == MM_CELL_TYPE_UMTS ? ACT_UTRAN
                  : modem.cellType == MM_CELL_TYPE_LTE  ? ACT_EUTRAN
                  : modem.cellType == MM_CELL_TYPE_5GNR ? ACT_NR_5GCN
                                                        : -1;
        unsigned long long area = 0;
        unsigned long long cell = 0;
        bool hasArea = act >= 0 && Hex(modem.cellArea, area);
        bool hasCell = act >= 0 && Hex(modem.cellId, cell);
        answer = Information("+MMCELL: " + (act >= 0 ? std::to_string(act) : "") + "," +
                             (hasArea ? Format("\"%llX\"", area) : "") + "," +
                             (hasCell ? Format("\"%llX\"", cell) : "") + "," +
                             (act >= 0 && modem.hasChannel ? std::to_string(modem.channel) : ""));
        return true;
    }
    answer = "\r\nERROR\r\n";
    return true;
}

// The read response of one registration: the modem's own domain carries its state and, when
// registered, the location; the others say "not registered".
std::string AtFace::Registration(const char* name, const ModemSnapshot& modem) const {
    std::string command = name;
    Domain own = command == "+CEREG"    ? Domain::Eps
                 : command == "+C5GREG" ? Domain::FiveGs
                                        : Domain::Circuit;
    Domain domain = DomainOf(modem.accessTech);
    // A modem that does not say its technology is taken as registered for circuit services.
    if (domain == Domain::None) {
        domain = Domain::Circuit;
    }
    uint32_t stat = modem.registration <= MM_MODEM_3GPP_REGISTRATION_STATE_ATTACHED_RLOS
                        ? modem.registration
                        : static_cast<uint32_t>(MM_MODEM_3GPP_REGISTRATION_STATE_UNKNOWN);
    if (own != domain) {
        return command + ": 2,0";
    }
    std::string line = command + ": 2," + std::to_string(stat);
    std::vector<std::string> fields = Split(modem.location);
    unsigned long long lac = 0;
    unsigned long long cell = 0;
    unsigned long long tac = 0;
    if (!Registered(stat) || fields.size() != 5 || !Hex(fields[2], lac) || !Hex(fields[3], cell) ||
        !Hex(fields[4], tac)) {
        return line;
    }
    // LTE and NR cells are in tracking areas; a daemon that puts the code in the LAC field is
    // read there.
    unsigned long long area = own == Domain::Circuit || tac == 0 ? lac : tac;
    const char* format =
        own == Domain::FiveGs ? ",\"%06llX\",\"%09llX\",%llu" : ",\"%04llX\",\"%08llX\",%llu";
    return line + Format(format, area, cell, AccessTechnology(modem.accessTech));
}

// +CSQ from the GSM or UMTS RSSI; +CESQ with RXLEV, LTE RSRP and (27.007 Release 15) NR's
// SS-RSRP, each "not known" when the daemon has no value.
std::string AtFace::Signal(bool extended, const ModemSnapshot& modem) const {
    double rssi = std::isnan(modem.gsmRssi) ? modem.umtsRssi : modem.gsmRssi;
    if (!extended) {
        return "+CSQ: " + std::to_string(std::isnan(rssi) ? 99 : Clamp((rssi + 113) / 2, 0, 31)) +
               ",99";
    }
    std::string line =
        "+CESQ: " +
        std::to_string(std::isnan(modem.gsmRssi) ? 99 : Clamp(modem.gsmRssi + 111, 0, 63)) +
        ",99,255,255,255," +
        std::to_string(std::isnan(modem.lteRsrp) ? 255 : Clamp(modem.lteRsrp + 141, 0, 97));
    if (!std::isnan(modem.nrRsrp)) {
        line += ",255," + std::to_string(Clamp(modem.nrRsrp + 157, 0, 126)) + ",255";
    }
    return line;
}
