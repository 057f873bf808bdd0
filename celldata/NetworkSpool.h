#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "CellRecord.h"

// Gathers export cells network by network in bounded memory. Cells are held up to a budget;
// when it is reached, the lines an export repeats are merged, and if the held cells still
// take more than half of it they are written to a temporary file (a run). At the end the runs
// are merged so that only one network's cells are in memory at a time. Memory follows the
// budget and the number of distinct cells, not the number of lines.
class NetworkSpool {
public:
    // tempFolder: where runs go, with a trailing backslash (deleted when the spool ends).
    NetworkSpool(size_t budgetBytes, const std::wstring& tempFolder);
    ~NetworkSpool();
    NetworkSpool(const NetworkSpool&) = delete;
    NetworkSpool& operator=(const NetworkSpool&) = delete;

    // The part of the budget that others take from now on (the district texts): the held
    // cells leave it to them.
    void LeaveRoom(size_t bytes);
    // False when a run cannot be written (Error() tells).
    bool Add(const CellRecord* cells, size_t count);
    // Calls visit once for each network, in order of mcc and network code, with its cells
    // sorted by SortCells, one line of each cell (MergeRepeatedLines); visit may reorder and
    // change them. Returns false when a run cannot be read, or when visit returns false.
    bool ForEachNetwork(const std::function<bool(CellRecord* cells, size_t count)>& visit);

    size_t Runs() const { return runs.size(); }
    const std::string& Error() const { return error; }

private:
    struct Run {
        HANDLE file;
        std::vector<CellRecord> buffer;
        size_t next;
    };
    // Cells that may be held now.
    size_t Capacity() const;
    // Sorts the held cells and merges the lines of each cell.
    void Compact();
    // Writes the held cells (compacted) as a run.
    bool Spill();
    bool Refill(Run& run);
    bool MergeRuns(const std::function<bool(CellRecord* cells, size_t count)>& visit);

    size_t budget;
    size_t room = 0;
    std::wstring tempFolder;
    std::vector<CellRecord> cells;
    std::vector<Run> runs;
    size_t runBufferCells = 0;
    std::string error;
};
