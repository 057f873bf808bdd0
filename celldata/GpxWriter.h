#pragma once

#include "CellDrive.h"
#include "OutputFile.h"

// The drive as GPX 1.1: a waypoint for each tower visited (at its first visit) and a track
// through the towers in the order visited, a segment per local day, each point with the time
// of its log line.
class GpxWriter {
public:
    explicit GpxWriter(const CellDrive& drive) : drive(drive) {}
    void Write(OutputFile& out) const;

private:
    const CellDrive& drive;
};
