#include "GpxWriter.h"

#include "DriveText.h"

namespace {

// GPX takes longitudes from -180 up to, not including, 180: the same meridian.
std::string Position(const TowerPosition& tower) {
    const bool antimeridian = tower.lon == "180" || tower.lon.compare(0, 4, "180.") == 0;
    return "lat=\"" + tower.lat + "\" lon=\"" + (antimeridian ? "-" + tower.lon : tower.lon) + "\"";
}

} // namespace

void GpxWriter::Write(OutputFile& out) const {
    out.Write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<gpx version=\"1.1\" creator=\"Kestrel celllog2map\" "
              "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
              "<metadata><name>Kestrel cell log: the towers visited</name><desc>" +
              XmlEscaped("Positions of the cells' towers, not of the phone, which was within "
                         "their reach. The log's times were taken as " +
                         drive.Zone().Describe() + ".") +
              "</desc></metadata>\n");
    const std::vector<DriveCell>& cells = drive.Cells();
    const std::vector<Stay>& stays = drive.Stays();
    std::vector<bool> written(cells.size());
    for (const Stay& stay : stays) {
        const DriveCell& cell = cells[stay.cell];
        if (!cell.tower.Known() || written[stay.cell]) {
            continue;
        }
        written[stay.cell] = true;
        out.Write(
            "<wpt " + Position(cell.tower) + "><time>" + UtcText(stay.utc) + "</time><name>" +
            XmlEscaped(TowerName(cell)) + "</name><desc>" + XmlEscaped(TowerDescription(cell)) +
            "</desc><src>" + XmlEscaped(cell.tower.source) + "</src><type>" +
            (cell.tower.radio.empty() ? "" : cell.tower.radio + " ") + "tower</type></wpt>\n");
    }
    out.Write("<trk><name>The towers in the order visited</name><desc>Positions of the "
              "towers, not the phone's track.</desc>\n");
    // A track point's parts from its cell, before and after its time.
    std::vector<std::string> heads(cells.size()), tails(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].tower.Known()) {
            heads[i] = "<trkpt " + Position(cells[i].tower) + "><time>";
            tails[i] = "</time><name>" + XmlEscaped(TowerName(cells[i])) + "</name></trkpt>\n";
        }
    }
    std::string point;
    for (const auto& day : drive.Days()) {
        bool any = false;
        for (size_t i = day.first; i < day.second; ++i) {
            const uint32_t cell = stays[i].cell;
            if (heads[cell].empty()) {
                continue;
            }
            point = any ? "" : "<trkseg>\n";
            point += heads[cell];
            AppendUtc(point, stays[i].utc);
            point += tails[cell];
            out.Write(point);
            any = true;
        }
        if (any) {
            out.Write("</trkseg>\n");
        }
    }
    out.Write("</trk>\n</gpx>\n");
}
