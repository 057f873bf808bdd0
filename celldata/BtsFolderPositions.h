#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CellDrive.h"

// Tower positions from a folder of BTS databases, looked up with the item's own reader
// (CSVReader), so that every position is the one the detail page shows for the cell: fields 8
// and 9 of the cell's line. Field 2 gives the radio and field 7 the range where they read as
// the converter writes them ("LTE"; "±850 m, ...").
class BtsFolderPositions {
public:
    explicit BtsFolderPositions(const std::wstring& folder);

    // False (with Error()) when the folder holds no database "<network id>.csv".
    bool HasDatabases();
    void Locate(std::vector<DriveCell>& cells);
    // Cells whose line was found but whose coordinates are no decimal degrees ("N/A", "49,1").
    uint64_t Unreadable() const { return unreadable; }
    const std::string& Error() const { return error; }

private:
    std::wstring folder;
    uint64_t unreadable = 0;
    std::string error;
};
