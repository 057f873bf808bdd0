#include "CsvDriveWriter.h"

#include "DriveText.h"

void CsvDriveWriter::Write(OutputFile& out) const {
    out.Write("time_utc,time_local,network,mcc,mnc,lac,cell,bcch,radio,tower_lat,tower_lon,"
              "tower_range_m,position_source,log,log_line\r\n");
    const std::vector<DriveCell>& cells = drive.Cells();
    for (const Stay& stay : drive.Stays()) {
        const DriveCell& cell = cells[stay.cell];
        const TowerPosition& tower = cell.tower;
        out.Write(UtcText(stay.utc) + "," + LocalText(stay.local, stay.utc) + "," + cell.network +
                  "," + MccOf(cell.network) + "," + MncOf(cell.network) + "," + cell.lac + "," +
                  cell.cell + "," + stay.bcch + "," + tower.radio + "," + tower.lat + "," +
                  tower.lon + "," + (tower.range == kNoValue ? "" : std::to_string(tower.range)) +
                  "," + CsvField(tower.source) + "," + CsvField(drive.LogNames()[stay.log]) + "," +
                  std::to_string(stay.line) + "\r\n");
    }
}
