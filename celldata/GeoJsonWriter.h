#pragma once

#include "CellDrive.h"
#include "OutputFile.h"

// The drive as GeoJSON (RFC 7946): a FeatureCollection of a point for each stay at its tower
// (time, network, LAC, cell id, BCCH, radio, range, position source), and a LineString for
// each local day through its towers in the order visited. Coordinates are longitude, latitude.
class GeoJsonWriter {
public:
    explicit GeoJsonWriter(const CellDrive& drive) : drive(drive) {}
    void Write(OutputFile& out) const;

private:
    const CellDrive& drive;
};
