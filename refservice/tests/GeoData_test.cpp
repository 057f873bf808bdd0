// The prepared map file opens and answers per tile; a damaged one is refused, never read
// past its end.

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "GeoData.h"

namespace {

std::wstring BesideTest(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1) + name;
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteAll(const wchar_t* path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
}

} // namespace

TEST(GeoData, PlacesAndSeaPerTile) {
    GeoData geo;
    ASSERT_TRUE(geo.Open(BesideTest(L"refservice-geo.bin"))) << geo.Error();
    EXPECT_EQ(8u, geo.TileZoom());
    // Prague's tile (zoom 8: x 138, y 86) has places, Prague among the largest; the open
    // Atlantic's (x 100, y 90) is all sea.
    uint32_t first, end;
    geo.TilePlaces(138, 86, first, end);
    ASSERT_LT(first, end);
    bool prague = false;
    for (uint32_t i = first; i < end && i < first + 3; ++i) {
        prague = prague || geo.PlaceName(geo.PlaceAt(i)) == "Prague";
    }
    EXPECT_TRUE(prague);
    geo.TilePieces(100, 90, first, end);
    ASSERT_EQ(first + 1, end);
    EXPECT_EQ(GeoData::Sea, geo.PieceAt(first).kind);
}

TEST(GeoData, DamagedFilesAreRefused) {
    const std::string whole = ReadAll(BesideTest(L"refservice-geo.bin"));
    ASSERT_GT(whole.size(), 1000u);
    GeoData geo;
    const std::string damaged[] = {
        whole.substr(0, whole.size() / 2),
        whole.substr(0, 40),
        "KGEOMAP1" + std::string(200, '\xFF'),
        std::string("NOTAMAP!") + whole.substr(8),
    };
    for (const std::string& bytes : damaged) {
        WriteAll(L"geodata_damaged.bin", bytes);
        EXPECT_FALSE(geo.Open(L"geodata_damaged.bin"));
        EXPECT_FALSE(geo.Error().empty());
        EXPECT_FALSE(geo.IsOpen());
    }
    // A piece pointing past the points.
    std::string bad = whole;
    uint32_t piecesAt, pointCount;
    memcpy(&piecesAt, &bad[8 + 6 * 4], 4);
    memcpy(&pointCount, &bad[8 + 2 * 4], 4);
    memcpy(&bad[piecesAt], &pointCount, 4);
    WriteAll(L"geodata_damaged.bin", bad);
    EXPECT_FALSE(geo.Open(L"geodata_damaged.bin"));
    EXPECT_NE(std::string::npos, geo.Error().find("piece 0"));
    DeleteFileW(L"geodata_damaged.bin");
}
