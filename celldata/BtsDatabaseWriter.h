#pragma once

#include <string>
#include <vector>

#include "BtsLineTexts.h"
#include "CellRecord.h"
#include "OwnLineOrder.h"

// A cell of the input that the BTS reader will not find by its network, area and cell id.
struct UnreachableCell {
    CellRecord cell;
    // The cell whose line the reader finds instead, and where that line holds the id; for a
    // cell merged away by MergeDuplicates, the cell kept under the same key and "same key".
    CellRecord found;
    const char* where;
};

// Writes BTS database files from export cells: one area after the other, each area's lines
// in the order OwnLineOrder finds (see BtsLineTexts for the fields).
class BtsDatabaseWriter {
public:
    // districts: CellExportReader::Districts(), read while the writer lives.
    explicit BtsDatabaseWriter(const std::vector<std::string>& districts) : districts(districts) {}

    // cells[0..count): one network's cells sorted by area and cell id with distinct keys
    // (SortCells, MergeDuplicates). Appends the lines of the first area and returns how many
    // cells it took; the cells the reader will not find are added to unreachable.
    size_t AppendArea(const CellRecord* cells, size_t count, std::string& out,
                      std::vector<UnreachableCell>& unreachable);
    // Every area of one network's cells.
    void AppendNetwork(const CellRecord* cells, size_t count, std::string& out,
                       std::vector<UnreachableCell>& unreachable);

private:
    const std::vector<std::string>& districts;
    BtsLineTexts texts;
    OwnLineOrder ordering;
    std::vector<uint32_t> order;
    std::vector<OwnLineOrder::Shadowed> shadowed;
};
