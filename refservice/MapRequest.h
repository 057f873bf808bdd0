#pragma once

#include <map>
#include <string>

// What a /map request asks for, checked: docs/refservice.md lists the parameters and bounds.
struct MapView {
    double lat = 0;
    double lon = 0;
    int width = 0;
    int height = 0;
    int zoom = -1; // -1: chosen so that the range of the tower at the position fits
    int scale = 1; // pixels per point of the picture: 2 for a 192-dpi screen
};

namespace map_request {

const int kDefaultWidth = 240;
// The map window of a 240x320 screen: under the 26-pixel navigation bar and the 70-pixel item.
const int kDefaultHeight = 224;
const int kMinSide = 16;
const int kMaxSide = 1024;
const int kMinZoom = 2;
const int kMaxZoom = 18;
const int kMaxScale = 3;
const double kMaxLatitude = 85.0511;

// False with error naming the parameter and what it must be.
bool Parse(const std::map<std::string, std::string>& query, MapView& view, std::string& error);

} // namespace map_request
