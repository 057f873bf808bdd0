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
    const char* separator = "\n";
    for (const Stay& stay : stays) {
        const DriveCell& cell = cells[stay.cell];
        const TowerPosition& tower = cell.tower;
        if (!tower.Known()) {
            continue;
        }
        out.Write(
            separator +
            ("{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":" +
             Position(tower) + "},\"properties\":{\"name\":" + JsonString(TowerName(cell)) +
             ",\"position\":\"cell tower, not the phone\",\"time\":\"" + UtcText(stay.utc) +
             "\",\"end_time\":" + (stay.end == kNoEnd ? "null" : "\"" + UtcText(stay.end) + "\"") +
             ",\"local_time\":\"" + LocalText(stay.local, stay.utc) + "\",\"network\":" +
             JsonString(cell.network) + ",\"mcc\":" + StringOrNull(MccOf(cell.network)) +
             ",\"mnc\":" + StringOrNull(MncOf(cell.network)) + ",\"lac\":" + JsonString(cell.lac) +
             ",\"cell\":" + JsonString(cell.cell) + ",\"bcch\":" + JsonString(stay.bcch) +
             ",\"radio\":" + StringOrNull(tower.radio) +
             ",\"range_m\":" + (tower.range == kNoValue ? "null" : std::to_string(tower.range)) +
             ",\"position_source\":" + JsonString(tower.source) +
             ",\"log\":" + JsonString(drive.LogNames()[stay.log]) +
             ",\"log_line\":" + std::to_string(stay.line) + "}}"));
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
