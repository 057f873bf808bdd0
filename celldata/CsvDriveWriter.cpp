#include "CsvDriveWriter.h"

#include "DriveText.h"

void CsvDriveWriter::Write(OutputFile& out) const {
    out.Write("time_utc,time_local,network,mcc,mnc,lac,cell,bcch,radio,tower_lat,tower_lon,"
              "tower_range_m,position_source,log,log_line\r\n");
    // What a row takes from its cell, before and after the stay's BCCH: made once a cell.
    const std::vector<DriveCell>& cells = drive.Cells();
    std::vector<std::string> before(cells.size()), after(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        const DriveCell& cell = cells[i];
        const TowerPosition& tower = cell.tower;
        before[i] = cell.network + "," + MccOf(cell.network) + "," + MncOf(cell.network) + "," +
                    cell.lac + "," + cell.cell + ",";
        after[i] = "," + tower.radio + "," + tower.lat + "," + tower.lon + "," +
                   (tower.range == kNoValue ? "" : std::to_string(tower.range)) + "," +
                   CsvField(tower.source) + ",";
    }
    std::vector<std::string> logs;
    for (const std::string& name : drive.LogNames()) {
        logs.push_back(CsvField(name) + ",");
    }
    std::string row;
    for (const Stay& stay : drive.Stays()) {
        row.clear();
        AppendUtc(row, stay.utc);
        row += ',';
        AppendLocal(row, stay.local, stay.utc);
        row += ',';
        row += before[stay.cell];
        row += drive.Bcch(stay);
        row += after[stay.cell];
        row += logs[stay.log];
        row += std::to_string(stay.line);
        row += "\r\n";
        out.Write(row);
    }
}
