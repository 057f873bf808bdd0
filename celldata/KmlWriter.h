#pragma once

#include "CellDrive.h"
#include "OutputFile.h"

// The drive as KML 2.2: a folder per local day holding a placemark per stay at its tower
// (its time span from the line's time to the next line's, styled by radio, the cell in its
// description) and the path through the day's towers in the order visited.
class KmlWriter {
public:
    explicit KmlWriter(const CellDrive& drive) : drive(drive) {}
    void Write(OutputFile& out) const;

private:
    const CellDrive& drive;
};
