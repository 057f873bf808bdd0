#include "MapRequest.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

const size_t kMaxNumberText = 32;

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty() || text.size() > kMaxNumberText) {
        return false;
    }
    for (char c : text) {
        // Decimal notation only: no hexadecimal, infinity or NaN that strtod would also take.
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
            return false;
        }
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && errno == 0 && std::isfinite(value);
}

bool ParseWhole(const std::string& text, int low, int high, int& value) {
    double number;
    if (!ParseNumber(text, number) || number != std::floor(number) || number < low ||
        number > high) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

} // namespace

namespace map_request {

bool Parse(const std::map<std::string, std::string>& query, MapView& view, std::string& error) {
    auto find = [&query](const char* name, std::string& text) {
        auto it = query.find(name);
        if (it == query.end()) {
            return false;
        }
        text = it->second;
        return true;
    };
    std::string text;
    if (!find("lat", text)) {
        error = "lat: missing (degrees north, within -85.0511 and 85.0511)";
        return false;
    }
    if (!ParseNumber(text, view.lat) || std::fabs(view.lat) > kMaxLatitude) {
        error = "lat: must be degrees north within -85.0511 and 85.0511, not \"" +
                text.substr(0, kMaxNumberText) + "\"";
        return false;
    }
    if (!find("lon", text)) {
        error = "lon: missing (degrees east)";
        return false;
    }
    if (!ParseNumber(text, view.lon)) {
        error = "lon: must be degrees east, not \"" + text.substr(0, kMaxNumberText) + "\"";
        return false;
    }
    // Any longitude names a meridian: taken round into -180..180.
    view.lon = std::fmod(view.lon, 360.0);
    if (view.lon >= 180.0) {
        view.lon -= 360.0;
    } else if (view.lon < -180.0) {
        view.lon += 360.0;
    }
    const std::string sides =
        " pixels from " + std::to_string(kMinSide) + " to " + std::to_string(kMaxSide);
    view.width = kDefaultWidth;
    if (find("w", text) && !ParseWhole(text, kMinSide, kMaxSide, view.width)) {
        error = "w: must be whole" + sides;
        return false;
    }
    view.height = kDefaultHeight;
    if (find("h", text) && !ParseWhole(text, kMinSide, kMaxSide, view.height)) {
        error = "h: must be whole" + sides;
        return false;
    }
    view.zoom = -1;
    if (find("z", text) && !ParseWhole(text, kMinZoom, kMaxZoom, view.zoom)) {
        error = "z: must be a zoom level from " + std::to_string(kMinZoom) + " to " +
                std::to_string(kMaxZoom);
        return false;
    }
    // A picture as large as a VGA screen's map window is for a 192-dpi screen.
    view.scale = view.width >= 2 * kDefaultWidth && view.height >= 2 * kDefaultHeight ? 2 : 1;
    if (find("scale", text) && !ParseWhole(text, 1, kMaxScale, view.scale)) {
        error = "scale: must be 1, 2 or 3";
        return false;
    }
    return true;
}

} // namespace map_request
