#include "ModemDialect.h"

#include <algorithm>
#include <cctype>

#include "AtParse.h"

namespace {

using AtParse::Fields;
using AtParse::Hex;
using AtParse::StartsWith;

bool Channel(const std::vector<std::string>& fields, size_t index, ServingCell& cell) {
    long value = 0;
    if (index < fields.size() && AtParse::LeadingDecimal(fields[index], value) && value >= 0) {
        cell.channel = static_cast<DWORD>(value);
        cell.hasChannel = true;
    }
    return cell.hasChannel;
}

void Area(const std::vector<std::string>& fields, size_t index, ServingCell& cell) {
    cell.hasArea = index < fields.size() && Hex(fields[index], cell.area);
}

void CellId(const std::vector<std::string>& fields, size_t index, ServingCell& cell) {
    cell.hasCell = index < fields.size() && Hex(fields[index], cell.cellId);
}

// +QENG: "servingcell",<state>,<RAT>,... (or, on 5G modules, a "servingcell" line with the
// state alone followed by a line that begins with the RAT).
bool ParseQuectel(const std::vector<std::string>& lines, ServingCell& cell) {
    for (const std::string& line : lines) {
        std::vector<std::string> fields = Fields(line);
        size_t rat = AtParse::Unquote(fields.empty() ? "" : fields[0]) == "servingcell" ? 2 : 0;
        if (fields.size() <= rat + 6) {
            continue;
        }
        std::string name = AtParse::Unquote(fields[rat]);
        if (name == "GSM") {
            Area(fields, rat + 3, cell);
            CellId(fields, rat + 4, cell);
            return Channel(fields, rat + 6, cell);
        }
        if (name == "WCDMA" || name == "TDSCDMA") {
            Area(fields, rat + 3, cell);
            CellId(fields, rat + 4, cell);
            return Channel(fields, rat + 5, cell);
        }
        if (name == "LTE" || name == "CAT-M" || name == "CAT-NB") {
            CellId(fields, rat + 4, cell);
            Area(fields, rat + 10, cell);
            return Channel(fields, rat + 6, cell);
        }
        // <duplex>,<MCC>,<MNC>,<cellID>,<PCID>,<TAC>,<ARFCN>: a 36-bit cell id does not parse.
        if (name == "NR5G-SA") {
            CellId(fields, rat + 4, cell);
            Area(fields, rat + 6, cell);
            return Channel(fields, rat + 7, cell);
        }
    }
    return false;
}

// +CPSI: <mode>,<operation>,<mcc>-<mnc>,0x<lac>,<decimal cell id>,...
bool ParseSimcom(const std::vector<std::string>& lines, ServingCell& cell) {
    for (const std::string& line : lines) {
        std::vector<std::string> fields = Fields(line);
        if (fields.size() < 8) {
            continue;
        }
        long id = 0;
        Area(fields, 3, cell);
        cell.hasCell = AtParse::Decimal(fields[4], id) && id >= 0;
        cell.cellId = static_cast<DWORD>(id);
        if (fields[0] == "GSM") {
            return Channel(fields, 5, cell);
        }
        if (fields[0] == "WCDMA") {
            return Channel(fields, 7, cell);
        }
        if (StartsWith(fields[0], "LTE")) {
            return Channel(fields, 7, cell);
        }
        cell = ServingCell();
    }
    return false;
}

// #SERVINFO: <channel>,<dBm>,<name>,<code>,<BSIC|PSC|PCI>,<LAC|TAC>,...: no cell id.
bool ParseTelit(const std::vector<std::string>& lines, ServingCell& cell) {
    for (const std::string& line : lines) {
        std::vector<std::string> fields = Fields(line);
        if (fields.size() >= 6 && Channel(fields, 0, cell)) {
            Area(fields, 5, cell);
            return true;
        }
    }
    return false;
}

// ^SMONI: 2G,<ARFCN>,<BCCH>,<MCC>,<MNC>,<LAC>,<cell>,...; 3G and 4G put their codes further on.
bool ParseCinterion(const std::vector<std::string>& lines, ServingCell& cell) {
    for (const std::string& line : lines) {
        std::vector<std::string> fields = Fields(line);
        size_t area = fields.empty()      ? 0
                      : fields[0] == "2G" ? 5
                      : fields[0] == "3G" ? 7
                      : fields[0] == "4G" ? 8
                                          : 0;
        if (area == 0 || fields.size() <= area + 1) {
            continue;
        }
        Area(fields, area, cell);
        CellId(fields, area + 1, cell);
        return Channel(fields, 1, cell);
    }
    return false;
}

bool ParseNothing(const std::vector<std::string>&, ServingCell&) {
    return false;
}

// +MMCELL: <AcT>,"<area>","<cell id>",<channel>: ModemManager's serving cell as the bridge
// (ce/mmbridge) gives it.
bool ParseModemManager(const std::vector<std::string>& lines, ServingCell& cell) {
    for (const std::string& line : lines) {
        std::vector<std::string> fields = Fields(line);
        if (StartsWith(line, "+MMCELL:") && fields.size() >= 4) {
            Area(fields, 1, cell);
            CellId(fields, 2, cell);
            return Channel(fields, 3, cell);
        }
    }
    return false;
}

const ModemDialect DIALECTS[] = {
    {"generic", nullptr, "", ParseNothing},
    {"quectel", "AT+QENG=\"servingcell\"", "+QENG:", ParseQuectel},
    {"simcom", "AT+CPSI?", "+CPSI:", ParseSimcom},
    {"telit", "AT#SERVINFO", "#SERVINFO:", ParseTelit},
    {"cinterion", "AT^SMONI", "^SMONI:", ParseCinterion},
    {"modemmanager", "AT+MMCELL?", "+MMCELL:", ParseModemManager},
};

// Substrings of the +CGMI text, lower case.
const struct {
    const char* text;
    const char* dialect;
} MAKERS[] = {{"modemmanager", "modemmanager"},
              {"quectel", "quectel"},
              {"simcom", "simcom"},
              {"telit", "telit"},
              {"cinterion", "cinterion"},
              {"siemens", "cinterion"},
              {"gemalto", "cinterion"}};

} // namespace

const ModemDialect& ModemDialect::Generic() {
    return DIALECTS[0];
}

const ModemDialect* ModemDialect::Find(const std::string& name) {
    for (const ModemDialect& dialect : DIALECTS) {
        if (name == dialect.name) {
            return &dialect;
        }
    }
    return nullptr;
}

const ModemDialect& ModemDialect::Identify(const std::string& manufacturer) {
    std::string lower = manufacturer;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& maker : MAKERS) {
        if (lower.find(maker.text) != std::string::npos) {
            return *Find(maker.dialect);
        }
    }
    return Generic();
}
