#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CellExportReader.h"
#include "CellRecord.h"

// The cells of OpenCellID exports (read by CellExportReader, docs/cells.md), held compact for
// national and world exports: a lookup by network, area and cell id takes constant time, and
// each network's BTS database is written from the same cells as the converter writes it.
// Of cells with the same network, area and cell id the one the converter keeps is kept.
class CellDatabase {
public:
    struct Position {
        std::string lat;
        std::string lon;
    };

    // Adds an export file's cells (plain or gzip). False when it cannot be read; Error() says
    // why, and the cells read before stay.
    bool Load(const std::wstring& path);
    // Adds the cells of export text; returns how many lines gave a cell.
    size_t AddCsv(const std::string& text);
    // networkCode: mcc (3 digits) followed by the network code, e.g. "23001" or "310410".
    bool Find(const std::string& networkCode, uint64_t area, uint64_t cell,
              Position& position) const;
    // The network's BTS database; false when the network has no cells. networkId: the name
    // of its database file without ".csv" (NetworkId).
    bool BtsDatabase(const std::string& networkId, std::string& bytes) const;

    size_t Size() const { return cells.size(); }
    // Sorted by network, area and cell id; valid until the next load.
    const std::vector<CellRecord>& Records() const { return cells; }
    size_t Networks() const;
    const std::string& Error() const { return reader.Error(); }
    const CellExportReader::Counts& Counts() const { return reader.GetCounts(); }

private:
    size_t Take();
    void Index();
    uint32_t Slot(uint32_t network, uint32_t area, uint64_t cell) const;

    CellExportReader reader;
    // Sorted by network, area and cell id.
    std::vector<CellRecord> cells;
    // Open addressing: index + 1 into cells, 0 for an empty slot.
    std::vector<uint32_t> slots;
};
