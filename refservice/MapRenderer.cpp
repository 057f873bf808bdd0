#include "MapRenderer.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

#include "MapCanvas.h"
#include "PngImage.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kWorldUnits = 4294967296.0;
const double kEquatorMetres = 40075016.686;
const int kDefaultZoom = 13;
// Street to region: a tower's range chooses a zoom level within these.
const int kMinAutoZoom = 7;
const int kMaxAutoZoom = 17;
const uint32_t kBorder = 0x9B7BB3;
const uint32_t kRange = 0xD42A2A;
const uint32_t kWhite = 0xFFFFFF;
const uint32_t kInk = 0x333333;
// Towers closer than this many points share one symbol.
const int kTowerCell = 10;
// Places considered for labels, largest first, and the area (in square points) a map has for
// each label at most: measuring and drawing text is most of a map's time.
const size_t kMaxPlaceCandidates = 150;
const int kPointsPerLabel = 2000;

using Vertex = CoverageRaster::Vertex;

double WorldX(double lon) {
    return (lon + 180.0) / 360.0 * kWorldUnits;
}

double WorldY(double lat) {
    const double s = std::sin(lat * kPi / 180.0);
    return (0.5 - std::log((1 + s) / (1 - s)) / (4 * kPi)) * kWorldUnits;
}

uint64_t ClampUnits(double units) {
    return uint64_t(std::min(std::max(units, 0.0), kWorldUnits));
}

std::wstring Wide(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], n);
    }
    return out;
}

bool Overlaps(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

void AddSymbol(CoverageRaster& raster, Radio radio, double x, double y, double r) {
    switch (radio) {
    case Radio::Gsm:
        raster.AddCircle(x, y, r);
        break;
    case Radio::Umts: {
        const double s = r * 0.9;
        const Vertex square[4] = {{x - s, y - s}, {x + s, y - s}, {x + s, y + s}, {x - s, y + s}};
        raster.AddPolygon(square, 4);
        break;
    }
    case Radio::Lte: {
        const Vertex triangle[3] = {
            {x, y - r * 1.2}, {x + r * 1.1, y + r * 0.8}, {x - r * 1.1, y + r * 0.8}};
        raster.AddPolygon(triangle, 3);
        break;
    }
    case Radio::Nr: {
        const double s = r * 1.25;
        const Vertex diamond[4] = {{x, y - s}, {x + s, y}, {x, y + s}, {x - s, y}};
        raster.AddPolygon(diamond, 4);
        break;
    }
    }
}

void AddRing(CoverageRaster& raster, double x, double y, double radius, double width) {
    const int n = std::min(256, std::max(16, int(radius * kPi)));
    std::vector<Vertex> ring(n + 1);
    for (int i = 0; i <= n; ++i) {
        const double angle = 2 * kPi * i / n;
        ring[i] = {x + radius * std::cos(angle), y + radius * std::sin(angle)};
    }
    raster.AddPolyline(ring.data(), ring.size(), width);
}

} // namespace

const uint32_t MapRenderer::kRadioColours[4] = {0x1C64C8, 0x2B9348, 0xE8590C, 0x9C36B5};

struct MapRenderer::Frame {
    MapView view;
    int zoom;
    double worldPixels;
    double unit; // picture pixels per world unit
    double originX, originY;
    int bandTop; // where the attribution band begins

    double X(double units) const { return units * unit - originX; }
    double Y(double units) const { return units * unit - originY; }
    // The picture in world units, widened by margin pixels.
    uint64_t Left(double margin) const { return ClampUnits((originX - margin) / unit); }
    uint64_t Top(double margin) const { return ClampUnits((originY - margin) / unit); }
    uint64_t Right(double margin) const {
        return ClampUnits((originX + view.width + margin) / unit);
    }
    uint64_t Bottom(double margin) const {
        return ClampUnits((originY + view.height + margin) / unit);
    }
    double Scale() const { return view.scale; }
};

MapRenderer::MapRenderer(const GeoData* geo, const std::vector<CellRecord>* cells,
                         const TowerIndex* towers)
    : geo(geo && geo->IsOpen() ? geo : nullptr), cells(cells),
      towers(cells && towers && towers->Size() == cells->size() ? towers : nullptr) {}

void MapRenderer::TowersAtPosition(const Frame& frame, std::vector<uint32_t>& found) const {
    if (!towers) {
        return;
    }
    const double metresPerUnit =
        kEquatorMetres * std::cos(frame.view.lat * kPi / 180.0) / kWorldUnits;
    const double reach = kAtPositionMetres / metresPerUnit;
    const double x = WorldX(frame.view.lon), y = WorldY(frame.view.lat);
    std::vector<uint32_t> nearby;
    towers->Find(ClampUnits(x - reach), ClampUnits(y - reach), ClampUnits(x + reach + 1),
                 ClampUnits(y + reach + 1), 16, 0, nearby);
    for (uint32_t index : nearby) {
        const TowerIndex::Tower& tower = towers->At(index);
        const double dx = tower.x - x, dy = tower.y - y;
        if (dx * dx + dy * dy <= reach * reach) {
            found.push_back(index);
        }
    }
}

int MapRenderer::ZoomFor(const MapView& view) const {
    if (view.zoom >= 0) {
        return view.zoom;
    }
    Frame frame = {};
    frame.view = view;
    std::vector<uint32_t> serving;
    TowersAtPosition(frame, serving);
    uint32_t range = 0;
    for (uint32_t index : serving) {
        const uint32_t r = (*cells)[towers->At(index).cell].range;
        if (r != kNoValue) {
            range = std::max(range, r);
        }
    }
    if (range == 0) {
        return kDefaultZoom;
    }
    // The range circle within 45% of the shorter side.
    const double points = 0.45 * std::min(view.width, view.height) / view.scale;
    const double metresPerPoint = range / points;
    const double zoom =
        std::log2(kEquatorMetres / 256 * std::cos(view.lat * kPi / 180.0) / metresPerPoint);
    return std::min(kMaxAutoZoom, std::max(kMinAutoZoom, int(std::floor(zoom))));
}

void MapRenderer::DrawGeography(const Frame& frame, MapCanvas& canvas) const {
    if (!geo) {
        return;
    }
    CoverageRaster& raster = canvas.Raster();
    const int shift = 32 - int(geo->TileZoom());
    const uint64_t x0 = frame.Left(2) >> shift, x1 = (frame.Right(2) - 1) >> shift;
    const uint64_t y0 = frame.Top(2) >> shift, y1 = (frame.Bottom(2) - 1) >> shift;
    std::vector<Vertex> points;
    const GeoData::Kind layers[2] = {GeoData::Sea, GeoData::Border};
    for (GeoData::Kind layer : layers) {
        for (uint64_t ty = y0; ty <= y1; ++ty) {
            for (uint64_t tx = x0; tx <= x1; ++tx) {
                uint32_t first, end;
                geo->TilePieces(uint32_t(tx), uint32_t(ty), first, end);
                for (uint32_t i = first; i < end; ++i) {
                    const GeoData::Piece& piece = geo->PieceAt(i);
                    if (piece.kind != layer) {
                        continue;
                    }
                    const GeoData::Point* p = geo->PiecePoints(piece);
                    points.clear();
                    for (uint32_t k = 0; k < piece.pointCount; ++k) {
                        const Vertex v = {frame.X(p[k].x), frame.Y(p[k].y)};
                        // Points closer than a third of a pixel add nothing to see.
                        if (!points.empty() && k + 1 < piece.pointCount &&
                            std::fabs(v.x - points.back().x) < 0.33 &&
                            std::fabs(v.y - points.back().y) < 0.33) {
                            continue;
                        }
                        points.push_back(v);
                    }
                    if (layer == GeoData::Sea) {
                        raster.AddPolygon(points.data(), points.size());
                    } else {
                        raster.AddPolyline(points.data(), points.size(), 1.2 * frame.Scale());
                    }
                }
            }
        }
        if (layer == GeoData::Sea) {
            canvas.Paint(kWater);
        } else {
            canvas.Paint(kBorder, 0.85);
        }
    }
}

void MapRenderer::DrawTowers(const Frame& frame, const std::vector<uint32_t>& serving,
                             MapCanvas& canvas) const {
    if (!towers) {
        return;
    }
    CoverageRaster& raster = canvas.Raster();
    const double s = frame.Scale();
    const double cx = frame.view.width / 2.0, cy = frame.view.height / 2.0;
    const double metresPerPixel =
        kEquatorMetres * std::cos(frame.view.lat * kPi / 180.0) / frame.worldPixels;
    for (uint32_t index : serving) {
        const uint32_t range = (*cells)[towers->At(index).cell].range;
        if (range != kNoValue && range > 0) {
            raster.AddCircle(cx, cy, range / metresPerPixel);
        }
    }
    canvas.Paint(kRange, 0.10);
    for (uint32_t index : serving) {
        const uint32_t range = (*cells)[towers->At(index).cell].range;
        if (range != kNoValue && range > 0) {
            AddRing(raster, cx, cy, range / metresPerPixel, 1.5 * s);
        }
    }
    canvas.Paint(kRange, 0.75);

    // One symbol per cell of kTowerCell points: the radio most of its towers have, larger
    // when it stands for more than one. In a crowded tile only an even sample is visited.
    const double cell = kTowerCell * s;
    const double margin = 6 * s;
    const int columns = int(std::ceil((frame.view.width + 2 * margin) / cell));
    const int rows = int(std::ceil((frame.view.height + 2 * margin) / cell));
    struct Bucket {
        uint32_t count = 0;
        uint32_t radios[4] = {};
        double x = 0, y = 0;
    };
    std::vector<Bucket> buckets(size_t(columns) * rows);
    const int level = std::min(16, std::max(1, int(std::floor(std::log2(frame.worldPixels / 64)))));
    const double tilePixels = frame.worldPixels / double(1u << level);
    const size_t perTile =
        std::max<size_t>(32, size_t(3 * (tilePixels / cell) * (tilePixels / cell)));
    std::vector<uint32_t> found;
    towers->Find(frame.Left(margin), frame.Top(margin), frame.Right(margin), frame.Bottom(margin),
                 level, perTile, found);
    for (uint32_t index : found) {
        if (std::find(serving.begin(), serving.end(), index) != serving.end()) {
            continue;
        }
        const TowerIndex::Tower& tower = towers->At(index);
        const double x = frame.X(tower.x), y = frame.Y(tower.y);
        const int column = std::min(columns - 1, std::max(0, int((x + margin) / cell)));
        const int row = std::min(rows - 1, std::max(0, int((y + margin) / cell)));
        Bucket& bucket = buckets[size_t(row) * columns + column];
        if (bucket.count++ == 0) {
            bucket.x = x;
            bucket.y = y;
        }
        ++bucket.radios[int((*cells)[tower.cell].radio) & 3];
    }
    const double radius = 3 * s;
    auto radioOf = [](const Bucket& bucket) {
        return int(std::max_element(bucket.radios, bucket.radios + 4) - bucket.radios);
    };
    for (const Bucket& bucket : buckets) {
        if (bucket.count > 0) {
            AddSymbol(raster, Radio(radioOf(bucket)), bucket.x, bucket.y,
                      (bucket.count > 1 ? radius * 1.35 : radius) + 1.2 * s);
        }
    }
    canvas.Paint(kWhite);
    for (int radio = 0; radio < 4; ++radio) {
        for (const Bucket& bucket : buckets) {
            if (bucket.count > 0 && radioOf(bucket) == radio) {
                AddSymbol(raster, Radio(radio), bucket.x, bucket.y,
                          bucket.count > 1 ? radius * 1.35 : radius);
            }
        }
        canvas.Paint(kRadioColours[radio]);
    }
    // The tower(s) at the position, larger, on a dark edge.
    for (uint32_t index : serving) {
        AddSymbol(raster, (*cells)[towers->At(index).cell].radio, cx, cy, 5 * s + 1.3 * s);
    }
    canvas.Paint(kInk);
    for (uint32_t index : serving) {
        const Radio radio = (*cells)[towers->At(index).cell].radio;
        AddSymbol(raster, radio, cx, cy, 5 * s);
        canvas.Paint(kRadioColours[int(radio) & 3]);
    }
}

void MapRenderer::DrawPlaces(const Frame& frame, MapCanvas& canvas) const {
    if (!geo) {
        return;
    }
    const double s = frame.Scale();
    const int shift = 32 - int(geo->TileZoom());
    std::vector<uint32_t> candidates;
    for (uint64_t ty = frame.Top(0) >> shift; ty <= (frame.Bottom(0) - 1) >> shift; ++ty) {
        for (uint64_t tx = frame.Left(0) >> shift; tx <= (frame.Right(0) - 1) >> shift; ++tx) {
            uint32_t first, end;
            geo->TilePlaces(uint32_t(tx), uint32_t(ty), first, end);
            for (uint32_t i = first; i < end; ++i) {
                const GeoData::Place& place = geo->PlaceAt(i);
                const double x = frame.X(place.x), y = frame.Y(place.y);
                if (x >= 0 && y >= 0 && x < frame.view.width && y < frame.bandTop) {
                    candidates.push_back(i);
                }
            }
        }
    }
    auto larger = [this](uint32_t a, uint32_t b) {
        const GeoData::Place &pa = geo->PlaceAt(a), &pb = geo->PlaceAt(b);
        return pa.capital != pb.capital ? pa.capital > pb.capital : pa.population > pb.population;
    };
    const size_t considered = std::min(candidates.size(), kMaxPlaceCandidates);
    std::partial_sort(candidates.begin(), candidates.begin() + considered, candidates.end(),
                      larger);
    candidates.resize(considered);

    // The marker and the band at the bottom are taken; then each label in turn takes the first
    // free spot beside its place: right, left, above, below.
    const int cx = frame.view.width / 2, cy = frame.view.height / 2;
    const int keep = int((kMarkerRadius + 3) * s);
    std::vector<RECT> taken = {{cx - keep, cy - keep, cx + keep, cy + keep}};
    struct Label {
        std::wstring text;
        int x, y;
        MapCanvas::FontKind font;
        double px, py;
        bool dot;
    };
    std::vector<Label> labels;
    const int gap = int(4 * s), pad = int(2 * s), dot = int(3 * s);
    const size_t mostLabels =
        size_t(frame.view.width) * frame.view.height / (kPointsPerLabel * s * s) + 1;
    for (uint32_t index : candidates) {
        if (labels.size() >= mostLabels) {
            break;
        }
        const GeoData::Place& place = geo->PlaceAt(index);
        const MapCanvas::FontKind font =
            place.capital || place.population >= 100000 ? MapCanvas::BoldLabel : MapCanvas::Label;
        const std::wstring text = Wide(geo->PlaceName(place));
        const SIZE size = canvas.Measure(text, font);
        const int x = int(frame.X(place.x)), y = int(frame.Y(place.y));
        const RECT dotRect = {x - dot, y - dot, x + dot, y + dot};
        // The place the marker stands on is named beside the marker, without a dot.
        const bool atMarker = Overlaps(dotRect, taken[0]);
        bool dotFree = true;
        for (size_t k = atMarker ? 1 : 0; k < taken.size(); ++k) {
            dotFree = dotFree && !Overlaps(dotRect, taken[k]);
        }
        if (!dotFree) {
            continue;
        }
        const int side = atMarker ? keep : gap;
        const POINT spots[4] = {{x + side, y - size.cy / 2},
                                {x - side - size.cx, y - size.cy / 2},
                                {x - size.cx / 2, y - side - size.cy},
                                {x - size.cx / 2, y + side}};
        for (const POINT& spot : spots) {
            const RECT box = {spot.x - pad, spot.y, spot.x + size.cx + pad, spot.y + size.cy};
            bool free = box.left >= 0 && box.top >= 0 && box.right <= frame.view.width &&
                        box.bottom <= frame.bandTop;
            for (size_t k = 0; free && k < taken.size(); ++k) {
                free = !Overlaps(box, taken[k]);
            }
            if (free) {
                taken.push_back(box);
                if (!atMarker) {
                    taken.push_back(dotRect);
                }
                labels.push_back({text, int(spot.x), int(spot.y), font, frame.X(place.x),
                                  frame.Y(place.y), !atMarker});
                break;
            }
        }
    }
    CoverageRaster& raster = canvas.Raster();
    for (const Label& label : labels) {
        if (label.dot) {
            raster.AddCircle(label.px, label.py, 2.6 * s);
        }
    }
    canvas.Paint(kWhite);
    for (const Label& label : labels) {
        if (label.dot) {
            raster.AddCircle(label.px, label.py, 1.8 * s);
        }
    }
    canvas.Paint(kInk);
    for (const Label& label : labels) {
        canvas.Text(label.text, label.x, label.y, label.font, 0x222222, kWhite);
    }
}

void MapRenderer::DrawOverlay(const Frame& frame, MapCanvas& canvas) const {
    CoverageRaster& raster = canvas.Raster();
    const double s = frame.Scale();
    const double cx = frame.view.width / 2.0, cy = frame.view.height / 2.0;
    AddRing(raster, cx, cy, kMarkerRadius * s, 4.5 * s);
    canvas.Paint(kWhite);
    AddRing(raster, cx, cy, kMarkerRadius * s, 2.5 * s);
    canvas.Paint(kMarker);

    // The scale bar: the longest of 1, 2 or 5 times a power of ten metres within a third of
    // the width.
    const double metresPerPixel =
        kEquatorMetres * std::cos(frame.view.lat * kPi / 180.0) / frame.worldPixels;
    const double most = metresPerPixel * frame.view.width / 3;
    double metres = std::pow(10.0, std::floor(std::log10(most)));
    if (metres * 5 <= most) {
        metres *= 5;
    } else if (metres * 2 <= most) {
        metres *= 2;
    }
    const double length = metres / metresPerPixel;
    const double left = 4 * s, base = frame.bandTop - 4 * s;
    const Vertex bar[4] = {
        {left, base - 3 * s}, {left, base}, {left + length, base}, {left + length, base - 3 * s}};
    raster.AddPolyline(bar, 4, 3.5 * s);
    canvas.Paint(kWhite, 0.9);
    raster.AddPolyline(bar, 4, 1.5 * s);
    canvas.Paint(kInk);
    const std::wstring text = metres >= 1000 ? std::to_wstring(int(metres / 1000)) + L" km"
                                             : std::to_wstring(int(metres)) + L" m";
    const SIZE size = canvas.Measure(text, MapCanvas::Small);
    canvas.Text(text, int(left + 3 * s), int(base - 3 * s) - size.cy, MapCanvas::Small, kInk,
                kWhite);
}

bool MapRenderer::Render(const MapView& view, std::string& png) const {
    MapCanvas canvas(view.width, view.height, view.scale);
    if (!canvas.IsValid()) {
        return false;
    }
    Frame frame = {};
    frame.view = view;
    frame.zoom = ZoomFor(view);
    frame.worldPixels = 256.0 * view.scale * std::ldexp(1.0, frame.zoom);
    frame.unit = frame.worldPixels / kWorldUnits;
    frame.originX = WorldX(view.lon) * frame.unit - view.width / 2.0;
    frame.originY = WorldY(view.lat) * frame.unit - view.height / 2.0;

    // The data shown and its licences, on a pale band at the bottom.
    std::wstring credits;
    if (geo) {
        credits = L"© OpenStreetMap (ODbL), Natural Earth, GeoNames (CC BY)";
    }
    if (towers && towers->Size() > 0) {
        credits += std::wstring(credits.empty() ? L"" : L", ") + L"OpenCellID (CC BY-SA)";
    }
    RECT band = {int(2 * view.scale), 0, view.width - int(2 * view.scale), view.height};
    const int bandHeight =
        credits.empty()
            ? 0
            : canvas.WrappedText(credits, band, MapCanvas::Small, kInk, true) + int(2 * view.scale);
    frame.bandTop = view.height - bandHeight;

    canvas.Clear(kLand);
    DrawGeography(frame, canvas);
    std::vector<uint32_t> serving;
    TowersAtPosition(frame, serving);
    DrawTowers(frame, serving, canvas);
    DrawPlaces(frame, canvas);
    DrawOverlay(frame, canvas);
    if (bandHeight > 0) {
        const Vertex rect[4] = {{0, double(frame.bandTop)},
                                {double(view.width), double(frame.bandTop)},
                                {double(view.width), double(view.height)},
                                {0, double(view.height)}};
        canvas.Raster().AddPolygon(rect, 4);
        canvas.Paint(kWhite, 0.7);
        band.top = frame.bandTop + view.scale;
        canvas.WrappedText(credits, band, MapCanvas::Small, kInk, false);
    }
    return png_image::Encode(canvas.Pixels(), view.width, view.height, png);
}
