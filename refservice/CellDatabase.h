#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CellExportReader.h"
#include "CellRecord.h"

// The cells of OpenCellID exports (read by CellExportReader, docs/cells.md), held compact for
// national and world exports: a lookup by network, area and cell id takes constant time, and
// each network's BTS database is written from the same cells as the converter writes it.
// Of cells with the same network, area and cell id the one the converter keeps is kept.
// Lookups and databases may be asked for on several threads at once, not while cells are added.
class CellDatabase {
public:
    struct Position {
        std::string lat;
        std::string lon;
    };

    // Adds an export file's cells (plain or gzip). False when it cannot be read; Error() says
    // why, and the cells read before stay.
    bool Load(const std::wstring& path);
    // Adds the cells of several files, sorted and indexed once. False at the first file that
    // cannot be read; the cells of the files before it stay.
    bool Load(const std::vector<std::wstring>& paths);
    // Adds the cells of export text; returns how many lines gave a cell.
    size_t AddCsv(const std::string& text);
    // networkCode: mcc (3 digits) followed by the network code, e.g. "23001" or "310410".
    bool Find(const std::string& networkCode, uint64_t area, uint64_t cell,
              Position& position) const;
    // The network's BTS database; false when the network has no cells. networkId: the name
    // of its database file without ".csv" (NetworkId).
    bool BtsDatabase(const std::string& networkId, std::string& bytes) const;
    // The same, written once for the cells loaded and then kept (about as much memory as the
    // network's cells take); null when the network has no cells.
    std::shared_ptr<const std::string> BtsDatabase(const std::string& networkId) const;

    size_t Size() const { return cells.size(); }
    // Sorted by network, area and cell id; valid until the next load.
    const std::vector<CellRecord>& Records() const { return cells; }
    size_t Networks() const;
    const std::string& Error() const { return reader.Error(); }
    const CellExportReader::Counts& Counts() const { return reader.GetCounts(); }

private:
    struct Written {
        std::mutex writing;
        std::shared_ptr<const std::string> bytes;
    };

    void Reserve(const std::wstring& path);
    size_t Take();
    void Index();
    uint32_t Slot(uint32_t network, uint32_t area, uint64_t cell) const;

    CellExportReader reader;
    // Sorted by network, area and cell id.
    std::vector<CellRecord> cells;
    // Open addressing: index + 1 into cells, 0 for an empty slot.
    std::vector<uint32_t> slots;
    // The databases written, by NetworkKey; emptied when cells are added.
    mutable std::mutex writtenLock;
    mutable std::map<uint32_t, std::shared_ptr<Written>> written;
};
