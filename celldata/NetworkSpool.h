#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "CellRecord.h"

// Gathers export cells network by network in bounded memory. Cells are held up to a budget;
// past it, the held cells are sorted and written to a temporary file (a run). At the end the
// runs are merged so that only one network's cells are in memory at a time.
class NetworkSpool {
public:
    // tempFolder: where runs go, with a trailing backslash (deleted when the spool ends).
    NetworkSpool(size_t budgetBytes, const std::wstring& tempFolder);
    ~NetworkSpool();
    NetworkSpool(const NetworkSpool&) = delete;
    NetworkSpool& operator=(const NetworkSpool&) = delete;

    // False when a run cannot be written (Error() tells).
    bool Add(const CellRecord* cells, size_t count);
    // Calls visit once for each network, in order of mcc and network code, with its cells
    // sorted by SortCells; visit may reorder and change them. Returns false when a run cannot
    // be read, or when visit returns false.
    bool ForEachNetwork(const std::function<bool(CellRecord* cells, size_t count)>& visit);

    size_t Runs() const { return runs.size(); }
    const std::string& Error() const { return error; }

private:
    struct Run {
        HANDLE file;
        std::vector<CellRecord> buffer;
        size_t next;
    };
    bool Spill();
    bool Refill(Run& run);

    size_t capacity;
    std::wstring tempFolder;
    std::vector<CellRecord> cells;
    std::vector<Run> runs;
    std::string error;
};
