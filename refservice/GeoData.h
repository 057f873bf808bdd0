#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The map file that tools/geodata.py prepares from the open data (docs/refservice.md), mapped
// read-only: seas as closed rings and borders as lines, cut into the tiles of one zoom level,
// and populated places per tile, larger ones first. Coordinates are Web Mercator world
// coordinates of 32 bits (x east from 180 W, y south from 85.05 N). Every count and offset
// is checked against the file's size when it is opened, so a damaged file is refused whole.
class GeoData {
public:
    enum Kind : uint8_t { Sea = 0, Border = 1 };
    struct Point {
        uint32_t x, y;
    };
    struct Piece {
        uint32_t firstPoint;
        uint32_t pointCount;
        uint8_t kind;
        uint8_t reserved[3];
    };
    struct Place {
        uint32_t x, y;
        uint32_t population;
        uint32_t nameOffset;
        uint16_t nameLength;
        uint8_t capital;
        uint8_t reserved;
    };

    GeoData() = default;
    ~GeoData();
    GeoData(const GeoData&) = delete;
    GeoData& operator=(const GeoData&) = delete;

    // False when the file cannot be read or is not a whole map file; Error() says why.
    bool Open(const std::wstring& path);
    bool IsOpen() const { return view != nullptr; }
    const std::string& Error() const { return error; }
    uint64_t MappedBytes() const { return size; }

    // The zoom level of the file's tiles: 2^zoom tiles per side.
    uint32_t TileZoom() const { return tileZoom; }

    // The pieces and places of tile (tx, ty): [first, end) into Pieces() and Places().
    void TilePieces(uint32_t tx, uint32_t ty, uint32_t& first, uint32_t& end) const;
    void TilePlaces(uint32_t tx, uint32_t ty, uint32_t& first, uint32_t& end) const;
    const Piece& PieceAt(uint32_t index) const { return pieces[index]; }
    const Point* PiecePoints(const Piece& piece) const { return points + piece.firstPoint; }
    const Place& PlaceAt(uint32_t index) const { return places[index]; }
    std::string PlaceName(const Place& place) const;

private:
    void Close();
    bool Fail(const std::string& why);

    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    const uint8_t* view = nullptr;
    uint64_t size = 0;
    std::string error;
    uint32_t tileZoom = 0;
    const uint32_t* tilePieces = nullptr;
    const uint32_t* tilePlaces = nullptr;
    const Piece* pieces = nullptr;
    const Point* points = nullptr;
    const Place* places = nullptr;
    const char* names = nullptr;
};
