#include "GeoJsonWriter.h"

#include "DriveText.h"

namespace {

std::string Position(const TowerPosition& tower) {
    return "[" + tower.lon + "," + tower.lat + "]";
}

std::string StringOrNull(const std::string& text) {
    return text.empty() ? "null" : JsonString(text);
}

} // namespace

void GeoJsonWriter::Write(OutputFile& out) const {
    out.Write("{\"type\":\"FeatureCollection\",\"features\":[");
    const std::vector<DriveCell>& cells = drive.Cells();
    const std::vector<Stay>& stays = drive.Stays();
    // A point's geometry and the properties of its cell, made once a cell.
    std::vector<std::string> points(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        const DriveCell& cell = cells[i];
        const TowerPosition& tower = cell.tower;
        if (tower.Known()) {
            points[i] =
                "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":" +
                Position(tower) + "},\"properties\":{\"name\":" + JsonString(TowerName(cell)) +
                ",\"position\":\"cell tower, not the phone\",\"network\":" +
                JsonString(cell.network) + ",\"mcc\":" + StringOrNull(MccOf(cell.network)) +
                ",\"mnc\":" + StringOrNull(MncOf(cell.network)) +
                ",\"lac\":" + JsonString(cell.lac) + ",\"cell\":" + JsonString(cell.cell) +
                ",\"radio\":" + StringOrNull(tower.radio) +
                ",\"range_m\":" + (tower.range == kNoValue ? "null" : std::to_string(tower.range)) +
                ",\"position_source\":" + JsonString(tower.source) + ",\"time\":\"";
        }
    }
    std::vector<std::string> logs;
    for (const std::string& name : drive.LogNames()) {
        logs.push_back(",\"log\":" + JsonString(name) + ",\"log_line\":");
    }
    const char* separator = "\n";
    std::string feature;
    for (const Stay& stay : stays) {
        if (points[stay.cell].empty()) {
            continue;
        }
        feature = separator;
        feature += points[stay.cell];
        AppendUtc(feature, stay.utc);
        feature += "\",\"end_time\":";
        if (stay.end == kNoEnd) {
            feature += "null";
        } else {
            feature += '"';
            AppendUtc(feature, stay.end);
            feature += '"';
        }
        feature += ",\"local_time\":\"";
        AppendLocal(feature, stay.local, stay.utc);
        feature += "\",\"bcch\":" + JsonString(drive.Bcch(stay)) + logs[stay.log] +
                   std::to_string(stay.line) + "}}";
        out.Write(feature);
        separator = ",\n";
    }
    for (const auto& day : drive.Days()) {
        const std::vector<uint32_t> path = drive.Path(day.first, day.second);
        if (path.size() < 2) {
            continue;
        }
        std::string line = "{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\","
                           "\"coordinates\":[";
        for (size_t i = 0; i < path.size(); ++i) {
            line += (i ? "," : "") + Position(cells[path[i]].tower);
        }
        const std::string date = DateText(stays[day.first].local);
        out.Write(separator + line + "]},\"properties\":{\"name\":\"Path through the towers, " +
                  date +
                  "\",\"position\":\"cell towers in the order visited, not the phone's "
                  "track\",\"date\":\"" +
                  date + "\",\"time\":\"" + UtcText(stays[day.first].utc) + "\",\"end_time\":\"" +
                  UtcText(stays[day.second - 1].utc) + "\"}}");
        separator = ",\n";
    }
    out.Write("\n]}\n");
}
