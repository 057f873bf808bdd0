#pragma once

#include <string>
#include <vector>

#include "CellDrive.h"
#include "CellExportReader.h"

// Tower positions straight from OpenCellID exports (plain or gzip), read once with the
// converter's reader and keeping only the cells the drive names. Of several lines of a cell
// the one the converter would keep is taken (the latest update, then the most samples), with
// all the decimals the export gives.
class CellExportPositions {
public:
    // False (with Error()) when an export cannot be read; no cell is located then.
    bool Locate(const std::vector<std::wstring>& exports, std::vector<DriveCell>& cells);
    const CellExportReader::Counts& GetCounts() const { return reader.GetCounts(); }
    const std::string& Error() const { return error; }

private:
    CellExportReader reader;
    std::string error;
};
