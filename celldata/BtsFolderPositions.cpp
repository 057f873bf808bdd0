#include "BtsFolderPositions.h"

#include <windows.h>

#include <cstdlib>

#include "CSVReader.h"
#include "DriveText.h"

namespace {

const int kRadioField = 2;
const int kRangeField = 7;
const int kLatitudeField = 8;
const int kLongitudeField = 9;

std::string Ascii(const std::wstring& text) {
    std::string ascii;
    for (wchar_t c : text) {
        if (c >= 128) {
            return std::string();
        }
        ascii += static_cast<char>(c);
    }
    return ascii;
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// Decimal degrees as JSON, KML and GPX all take them: "-12.345", no sign "+", no exponent, no
// leading zeros; at most limit in magnitude.
bool IsDegrees(const std::string& text, double limit) {
    size_t at = text.size() > 1 && text[0] == '-';
    const size_t whole = at;
    while (at < text.size() && isdigit(static_cast<unsigned char>(text[at]))) {
        ++at;
    }
    if (at == whole || (text[whole] == '0' && at - whole > 1) || at - whole > 3) {
        return false;
    }
    if (at < text.size()) {
        if (text[at] != '.' || at + 1 == text.size()) {
            return false;
        }
        for (++at; at < text.size(); ++at) {
            if (!isdigit(static_cast<unsigned char>(text[at]))) {
                return false;
            }
        }
    }
    return std::abs(std::atof(text.c_str())) <= limit;
}

bool IsValue(const std::string& text) {
    return !text.empty() && text != "-1";
}

// "±850 m, 12 měření, 13.9.2020": the range the converter puts first.
uint32_t RangeOf(const std::wstring& text) {
    if (text.size() < 2 || text[0] != L'\u00B1' || !iswdigit(text[1])) {
        return kNoValue;
    }
    const unsigned long range = std::wcstoul(text.c_str() + 1, nullptr, 10);
    return range < kNoValue ? static_cast<uint32_t>(range) : kNoValue;
}

} // namespace

BtsFolderPositions::BtsFolderPositions(const std::wstring& folder) : folder(folder) {
    if (!this->folder.empty() && this->folder.back() != L'\\' && this->folder.back() != L'/') {
        this->folder += L'\\';
    }
}

bool BtsFolderPositions::HasDatabases() {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*.csv").c_str(), &found);
    bool any = false;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            uint16_t mcc, net;
            const std::wstring name = found.cFileName;
            any = !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() > 4 &&
                  ParseNetworkId(Ascii(name.substr(0, name.size() - 4)), mcc, net);
        } while (!any && FindNextFileW(search, &found));
        FindClose(search);
    }
    if (!any) {
        error = "no BTS database (<network id>.csv) in the folder " + Utf8(folder);
    }
    return any;
}

void BtsFolderPositions::Locate(std::vector<DriveCell>& cells) {
    CSVReader reader(folder);
    for (DriveCell& cell : cells) {
        if (cell.network == "-----" || !IsValue(cell.lac) || !IsValue(cell.cell)) {
            continue;
        }
        BtsRecord record =
            reader.GetExtendedInformation(Wide(cell.lac), Wide(cell.cell), Wide(cell.network));
        if (record.count(kBtsStatusKey)) {
            continue;
        }
        TowerPosition& tower = cell.tower;
        const std::string lat = Ascii(record[kLatitudeField]);
        const std::string lon = Ascii(record[kLongitudeField]);
        if (!IsDegrees(lat, 90) || !IsDegrees(lon, 180)) {
            ++unreadable;
            continue;
        }
        tower.lat = lat;
        tower.lon = lon;
        const std::string radio = Ascii(record[kRadioField]);
        if (radio == "GSM" || radio == "UMTS" || radio == "LTE" || radio == "NR") {
            tower.radio = radio;
        }
        tower.range = RangeOf(record[kRangeField]);
        tower.source = "BTS database " + cell.network + ".csv";
    }
}
