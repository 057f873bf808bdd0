#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CellRecord.h"
#include "GeoData.h"
#include "MapRequest.h"
#include "TowerIndex.h"

class MapCanvas;

// Draws the PNG map of /map (docs/refservice.md): Web Mercator, north up, centred on the
// position; water, borders, the loaded towers by radio, the tower(s) at the position with
// their range circles, places with labels that never overlap, the position marker, a scale
// bar and the data's attribution. It keeps no state between pictures, so any number of
// threads may render at once; the data it reads must not change meanwhile.
class MapRenderer {
public:
    // Colours (0xRRGGBB) a picture's pixels have where nothing else is drawn over them.
    static constexpr uint32_t kLand = 0xF2EFE9;
    static constexpr uint32_t kWater = 0xAAD3DF;
    static constexpr uint32_t kMarker = 0xD42A2A;
    static const uint32_t kRadioColours[4]; // GSM, UMTS, LTE, NR
    // The marker's ring radius in points.
    static constexpr int kMarkerRadius = 8;
    // A tower at most this far from the position stands at it.
    static constexpr double kAtPositionMetres = 15.0;

    // Any of the three may be null: a map without that layer.
    MapRenderer(const GeoData* geo, const std::vector<CellRecord>* cells, const TowerIndex* towers);

    // The zoom level a view gets: its own, or the one that fits the range of the tower at the
    // position (13 without one).
    int ZoomFor(const MapView& view) const;
    // False only when drawing or encoding failed.
    bool Render(const MapView& view, std::string& png) const;

private:
    struct Frame;
    void TowersAtPosition(const Frame& frame, std::vector<uint32_t>& found) const;
    void DrawGeography(const Frame& frame, MapCanvas& canvas) const;
    void DrawTowers(const Frame& frame, const std::vector<uint32_t>& serving,
                    MapCanvas& canvas) const;
    void DrawPlaces(const Frame& frame, MapCanvas& canvas) const;
    void DrawOverlay(const Frame& frame, MapCanvas& canvas) const;

    const GeoData* geo;
    const std::vector<CellRecord>* cells;
    const TowerIndex* towers;
};
