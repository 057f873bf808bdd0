// The map's pixels where the data puts things: towers by radio at their Mercator pixels, the
// marker at the centre, the range circle, water and land from the prepared map file.

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "DecodedPng.h"
#include "MapRenderer.h"
#include "RefService.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kLat = 50.087465, kLon = 14.421254;

// Picture pixel of (lat, lon) on a map centred on (centreLat, centreLon).
POINT PixelOf(double lat, double lon, double centreLat, double centreLon, int zoom, int width,
              int height, int scale = 1) {
    const double world = 256.0 * scale * std::pow(2.0, zoom);
    auto x = [world](double degrees) { return (degrees + 180.0) / 360.0 * world; };
    auto y = [world](double degrees) {
        const double phi = degrees * kPi / 180.0;
        return (0.5 - std::log(std::tan(kPi / 4 + phi / 2)) / (2 * kPi)) * world;
    };
    return {LONG(std::floor(x(lon) - x(centreLon) + width / 2.0)),
            LONG(std::floor(y(lat) - y(centreLat) + height / 2.0))};
}

std::wstring BesideTest(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1) + name;
}

class MapRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The serving GSM cell with its range, and one tower of each other radio near it.
        service.Cells().AddCsv("radio,mcc,net,area,cell,unit,lon,lat,range\n"
                               "GSM,230,1,100,1001,0,14.421254,50.087465,800\n"
                               "LTE,230,1,300,7001,0,14.423254,50.088465,500\n"
                               "UMTS,230,1,200,5001,0,14.418754,50.086465,900\n"
                               "NR,230,1,400,9001,0,14.421254,50.085965,200\n");
    }
    DecodedPng Map(const std::string& query) {
        HttpReply reply = service.Handle("/map?" + query);
        EXPECT_EQ(200, reply.status) << reply.body;
        EXPECT_EQ("image/png", reply.contentType);
        return DecodedPng(reply.body);
    }
    RefService service;
};

} // namespace

TEST_F(MapRendererTest, TowersByRadioAtTheirPixelsAndTheMarkerAtTheCentre) {
    const uint32_t* radio = MapRenderer::kRadioColours;
    for (int zoom : {14, 15}) {
        const DecodedPng map = Map("lat=50.087465&lon=14.421254&z=" + std::to_string(zoom));
        ASSERT_EQ(240, map.width);
        ASSERT_EQ(224, map.height);
        // The serving tower under the marker's ring.
        EXPECT_TRUE(Near(radio[0], map.At(120, 112))) << std::hex << map.At(120, 112);
        EXPECT_TRUE(Near(MapRenderer::kMarker, map.At(120 + MapRenderer::kMarkerRadius, 112)));
        const struct {
            double lat, lon;
            uint32_t colour;
        } others[] = {{50.088465, 14.423254, radio[2]},
                      {50.086465, 14.418754, radio[1]},
                      {50.085965, 14.421254, radio[3]}};
        for (const auto& tower : others) {
            POINT p = PixelOf(tower.lat, tower.lon, kLat, kLon, zoom, 240, 224);
            ASSERT_TRUE(p.x >= 0 && p.y >= 0 && p.x < 240 && p.y < 224) << zoom;
            EXPECT_TRUE(Near(tower.colour, map.At(p.x, p.y)))
                << "zoom " << zoom << " at " << p.x << "," << p.y << ": " << std::hex
                << map.At(p.x, p.y);
        }
    }
    // Another size, centred elsewhere: the LTE tower moves with the centre.
    const DecodedPng wide = Map("lat=50.0880&lon=14.4240&w=320&h=200&z=15");
    ASSERT_EQ(320, wide.width);
    ASSERT_EQ(200, wide.height);
    POINT p = PixelOf(50.088465, 14.423254, 50.0880, 14.4240, 15, 320, 200);
    EXPECT_TRUE(Near(radio[2], wide.At(p.x, p.y))) << std::hex << wide.At(p.x, p.y);
}

// Without z the zoom is chosen so that the serving tower's range circle fits in the picture.
TEST_F(MapRendererTest, RangeCircleFitsWithoutZoom) {
    const DecodedPng map = Map("lat=50.087465&lon=14.421254");
    int ring = 0;
    for (int x = 120 + 2 * MapRenderer::kMarkerRadius; x < map.width && ring == 0; ++x) {
        const uint32_t c = map.At(x, 112);
        if (int((c >> 16) & 0xFF) - int((c >> 8) & 0xFF) > 80) {
            ring = x - 120;
        }
    }
    EXPECT_GT(ring, 224 / 5);
    EXPECT_LT(ring, 224 / 2);
    // Outside it, without a map file: land.
    EXPECT_EQ(MapRenderer::kLand, map.At(2, 2));
}

TEST_F(MapRendererTest, WaterAndLandFromTheMapFile) {
    ASSERT_TRUE(service.Geo().Open(BesideTest(L"refservice-geo.bin"))) << service.Geo().Error();
    // The straight Dutch coast near 4.47 E: sea 9 km west of it, land 7 km east.
    const int zoom = 10;
    const DecodedPng map = Map("lat=52.3&lon=4.45&z=10");
    int water = 0, land = 0;
    for (int i = 0; i < 5; ++i) {
        const double lat = 52.26 + 0.02 * i;
        const POINT sea = PixelOf(lat, 4.33, 52.3, 4.45, zoom, 240, 224);
        const POINT inland = PixelOf(lat, 4.57, 52.3, 4.45, zoom, 240, 224);
        // A label may cover one point or two; never most of them.
        water += map.At(sea.x, sea.y) == MapRenderer::kWater;
        land += map.At(inland.x, inland.y) == MapRenderer::kLand;
    }
    EXPECT_GE(water, 3);
    EXPECT_GE(land, 3);
}

// Pictures drawn at once on several threads are the one picture.
TEST_F(MapRendererTest, ThreadsDrawTheSamePicture) {
    service.Geo().Open(BesideTest(L"refservice-geo.bin"));
    const std::string target = "/map?lat=50.087465&lon=14.421254&w=300&h=260";
    const std::string alone = service.Handle(target).body;
    std::vector<std::string> pictures(4);
    std::vector<std::thread> threads;
    for (std::string& picture : pictures) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                picture = service.Handle(target).body;
                if (picture != alone) {
                    return;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::string& picture : pictures) {
        EXPECT_TRUE(picture == alone);
    }
}
