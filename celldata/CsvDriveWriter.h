#pragma once

#include "CellDrive.h"
#include "OutputFile.h"

// The drive as CSV (RFC 4180, UTF-8, CR LF): a header, then a row for every stay, also of
// cells without a known tower (their coordinates empty). docs/celllog.md says how each column
// is filled.
class CsvDriveWriter {
public:
    explicit CsvDriveWriter(const CellDrive& drive) : drive(drive) {}
    void Write(OutputFile& out) const;

private:
    const CellDrive& drive;
};
