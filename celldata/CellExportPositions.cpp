#include "CellExportPositions.h"

#include <unordered_map>

#include "DriveText.h"

namespace {

struct CellKey {
    uint32_t network; // NetworkKey
    uint32_t area;
    uint64_t cell;
    bool operator==(const CellKey& other) const {
        return network == other.network && area == other.area && cell == other.cell;
    }
};

struct CellKeyHash {
    size_t operator()(const CellKey& key) const {
        const uint64_t mixed = (uint64_t(key.network) << 32 | key.area) * 0x9E3779B97F4A7C15ull;
        return static_cast<size_t>(mixed ^ (key.cell * 0xC2B2AE3D27D4EB4Full) ^ (mixed >> 29));
    }
};

CellKey KeyOf(const CellRecord& record) {
    return {NetworkKey(record), record.area, record.cell};
}

// The log's decimal text as the export's number; false for "-1", leading zeros and the like,
// which no export line can match.
bool ParseDecimal(const std::string& text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text.size() > 12 || (text[0] == '0' && text.size() > 1)) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return value <= limit;
}

bool KeyOf(const DriveCell& cell, CellKey& key) {
    uint16_t mcc, net;
    uint64_t area, id;
    if (!ParseNetworkId(cell.network, mcc, net) || !ParseDecimal(cell.lac, kMaxArea, area) ||
        !ParseDecimal(cell.cell, kMaxCellId, id)) {
        return false;
    }
    key = {uint32_t(mcc) * 1000 + net, static_cast<uint32_t>(area), id};
    return true;
}

bool SameLine(const CellRecord& a, const CellRecord& b) {
    return KeyOf(a) == KeyOf(b) && a.radio == b.radio && a.lat == b.lat && a.lon == b.lon &&
           a.updated == b.updated && a.samples == b.samples;
}

} // namespace

bool CellExportPositions::Locate(const std::vector<std::wstring>& exports,
                                 std::vector<DriveCell>& cells) {
    std::unordered_map<CellKey, uint32_t, CellKeyHash> wanted;
    // Most lines of a world export belong to networks the drive never met.
    std::vector<bool> networks(1000 * 1000);
    for (size_t i = 0; i < cells.size(); ++i) {
        CellKey key;
        if (KeyOf(cells[i], key)) {
            wanted.emplace(key, static_cast<uint32_t>(i));
            networks[key.network] = true;
        }
    }
    std::vector<CellRecord> found;
    std::vector<uint16_t> foundIn; // the export of each line found
    std::vector<CellRecord> batch;
    for (size_t input = 0; input < exports.size(); ++input) {
        if (!reader.Open(exports[input])) {
            error = reader.Error();
            return false;
        }
        while (reader.NextBatch(batch)) {
            for (const CellRecord& record : batch) {
                if (networks[NetworkKey(record)] && wanted.count(KeyOf(record))) {
                    found.push_back(record);
                    foundIn.push_back(static_cast<uint16_t>(input));
                }
            }
            batch.clear();
        }
        if (!reader.Error().empty()) {
            error = reader.Error();
            return false;
        }
    }
    // The converter's choice among the lines of a cell.
    std::vector<CellRecord> chosen = found;
    SortCells(chosen);
    chosen.resize(MergeDuplicates(chosen.data(), chosen.size(), nullptr));
    std::unordered_map<CellKey, const CellRecord*, CellKeyHash> choice;
    for (const CellRecord& record : chosen) {
        choice.emplace(KeyOf(record), &record);
    }
    for (size_t i = 0; i < found.size(); ++i) {
        const CellRecord& record = *choice[KeyOf(found[i])];
        TowerPosition& tower = cells[wanted[KeyOf(record)]].tower;
        if (!tower.Known() && SameLine(record, found[i])) {
            tower.lat = CoordinateText(record.lat, record.latDecimals);
            tower.lon = CoordinateText(record.lon, record.lonDecimals);
            tower.radio = RadioName(record.radio);
            tower.range = record.range;
            tower.source = "cell export " + FileNameOf(exports[foundIn[i]]);
        }
    }
    return true;
}
