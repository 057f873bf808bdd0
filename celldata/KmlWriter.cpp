#include "KmlWriter.h"

#include "DriveText.h"

namespace {

// Icon colours by radio, aabbggrr; towers of no known radio grey.
const struct {
    const char* radio;
    const char* color;
} kRadioStyles[] = {{"GSM", "ff00b400"},
                    {"UMTS", "ffff7800"},
                    {"LTE", "ff0080ff"},
                    {"NR", "ffb400b4"},
                    {"", "ff9e9e9e"}};

std::string StyleOf(const std::string& radio) {
    return radio.empty() ? "#tower" : "#tower-" + radio;
}

std::string Coordinates(const TowerPosition& tower) {
    return tower.lon + "," + tower.lat;
}

} // namespace

void KmlWriter::Write(OutputFile& out) const {
    std::string logNames;
    for (const std::string& name : drive.LogNames()) {
        logNames += (logNames.empty() ? "" : ", ") + name;
    }
    out.Write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n"
              "<name>Kestrel cell log: the towers visited</name>\n<description>" +
              XmlEscaped("A placemark for each line of the cell logs (" + logNames +
                         "), at the position of its cell's tower: the phone was within the "
                         "tower's reach, not at it. Times in UTC; the log's times were taken "
                         "as " +
                         drive.Zone().Describe() + ".") +
              "</description>\n");
    for (const auto& style : kRadioStyles) {
        out.Write("<Style id=\"" + StyleOf(style.radio).substr(1) + "\"><IconStyle><color>" +
                  style.color + "</color></IconStyle></Style>\n");
    }
    out.Write("<Style id=\"path\"><LineStyle><color>ff00d7ff</color><width>3</width>"
              "</LineStyle></Style>\n");

    const std::vector<DriveCell>& cells = drive.Cells();
    const std::vector<Stay>& stays = drive.Stays();
    // What a placemark takes from its cell, before and after the stay's own part.
    std::vector<std::string> heads(cells.size()), tails(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        const DriveCell& cell = cells[i];
        if (cell.tower.Known()) {
            heads[i] = "<Placemark><name>" + XmlEscaped(TowerName(cell)) + "</name><description>" +
                       XmlEscaped(TowerDescription(cell)) + " BCCH ";
            tails[i] = "</TimeSpan><styleUrl>" + StyleOf(cell.tower.radio) +
                       "</styleUrl><Point><coordinates>" + Coordinates(cell.tower) +
                       "</coordinates></Point></Placemark>\n";
        }
    }
    std::vector<std::string> logParts;
    for (const std::string& name : drive.LogNames()) {
        logParts.push_back(". Log " + XmlEscaped(name) + ", line ");
    }
    std::string placemark;
    for (const auto& day : drive.Days()) {
        const std::string date = DateText(stays[day.first].local);
        out.Write("<Folder>\n<name>" + date + "</name>\n<description>Local date " + date +
                  "</description>\n");
        for (size_t i = day.first; i < day.second; ++i) {
            const Stay& stay = stays[i];
            if (heads[stay.cell].empty()) {
                continue;
            }
            placemark = heads[stay.cell];
            placemark += XmlEscaped(drive.Bcch(stay)) + logParts[stay.log] +
                         std::to_string(stay.line) + ".</description><TimeSpan><begin>";
            AppendUtc(placemark, stay.utc);
            placemark += "</begin>";
            if (stay.end != kNoEnd) {
                placemark += "<end>";
                AppendUtc(placemark, stay.end);
                placemark += "</end>";
            }
            placemark += tails[stay.cell];
            out.Write(placemark);
        }
        const std::vector<uint32_t> path = drive.Path(day.first, day.second);
        if (path.size() >= 2) {
            std::string line = "<Placemark><name>Path through the towers, " + date +
                               "</name><description>The towers in the order visited; not the "
                               "phone's track.</description><TimeSpan><begin>" +
                               UtcText(stays[day.first].utc) + "</begin><end>" +
                               UtcText(stays[day.second - 1].utc) +
                               "</end></TimeSpan><styleUrl>#path</styleUrl><LineString>"
                               "<tessellate>1</tessellate><coordinates>";
            for (size_t i = 0; i < path.size(); ++i) {
                line += (i ? " " : "") + Coordinates(cells[path[i]].tower);
            }
            out.Write(line + "</coordinates></LineString></Placemark>\n");
        }
        out.Write("</Folder>\n");
    }
    out.Write("</Document>\n</kml>\n");
}
