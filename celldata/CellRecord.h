#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One cell of an OpenCellID export, kept small: national exports hold millions of them.
enum class Radio : uint8_t { Gsm, Umts, Lte, Nr };

struct CellRecord {
    uint64_t cell;     // cell id: 16 bits for GSM, 28 for UMTS and LTE, 36 for NR
    uint32_t area;     // LAC or TAC
    int32_t lat;       // 1e-7 degrees
    int32_t lon;       // 1e-7 degrees
    uint32_t range;    // metres; kNoValue when the export has none
    uint32_t samples;  // kNoValue when the export has none
    uint32_t updated;  // Unix time; kNoValue when the export has none
    uint32_t channel;  // kNoValue unless the export has a channel column
    uint32_t district; // index in CellExportReader::Districts(); 0 is none
    uint16_t mcc;
    uint16_t net;
    Radio radio;
    uint8_t latDecimals; // decimals the export wrote, up to kMaxDecimals
    uint8_t lonDecimals;
};

const uint32_t kNoValue = 0xFFFFFFFFu;
const uint8_t kMaxDecimals = 7;
const uint64_t kMaxCellId = (uint64_t(1) << 36) - 1;
// The radio layer prints the area as a signed 32-bit number.
const uint32_t kMaxArea = 0x7FFFFFFFu;

const char* RadioName(Radio radio);

// The network id the radio layer reports: mcc in three digits, the network code in two
// digits, or three when it is above 99 ("23001", "310410").
std::string NetworkId(uint16_t mcc, uint16_t net);
// The inverse for a network id of five or six digits; false for anything else, and for a
// six-digit id whose network code would fit in two digits (not the name NetworkId gives).
bool ParseNetworkId(const std::string& id, uint16_t& mcc, uint16_t& net);

inline uint32_t NetworkKey(const CellRecord& cell) {
    return uint32_t(cell.mcc) * 1000 + cell.net;
}

// A coordinate in degrees as decimal text with at most maxDecimals of the decimals the export
// gave, cut (not rounded): a shorter text is always a prefix of a longer one.
std::string CoordinateText(int32_t value, uint8_t decimals, uint8_t maxDecimals = kMaxDecimals);
// The same text written to `to` (room for 16 characters); returns its length.
size_t PutCoordinate(char* to, int32_t value, uint8_t decimals, uint8_t maxDecimals);

// Network, area and cell id: what the BTS reader finds a cell by.
inline bool SameKey(const CellRecord& a, const CellRecord& b) {
    return a.mcc == b.mcc && a.net == b.net && a.area == b.area && a.cell == b.cell;
}

// Sorts by network, area and cell id; among cells with the same key the one to keep comes
// first: the latest update, then the most samples. The order is total: equal cells are alike
// in every field.
void SortCells(std::vector<CellRecord>& cells);
// The order of SortCells.
bool CellBefore(const CellRecord& a, const CellRecord& b);

// On sorted cells: keeps the first line of each cell (key and radio) in order, so that lines
// an export repeats count once; returns how many are kept.
size_t MergeRepeatedLines(CellRecord* cells, size_t count);

// On sorted cells: keeps the first cell of each (network, area, cell id) at the front and
// returns how many are kept. A dropped cell of another radio than the kept one is a different
// cell that the key cannot tell apart; it is added to conflicts.
size_t MergeDuplicates(CellRecord* cells, size_t count, std::vector<CellRecord>* conflicts);
