#include "GeoData.h"

#include <algorithm>
#include <cstring>

namespace {

const char kMagic[8] = {'K', 'G', 'E', 'O', 'M', 'A', 'P', '1'};
const uint32_t kMaxTileZoom = 12;

struct Header {
    char magic[8];
    uint32_t tileZoom;
    uint32_t pieceCount;
    uint32_t pointCount;
    uint32_t placeCount;
    uint32_t nameBytes;
    uint32_t tilePieces;
    uint32_t pieces;
    uint32_t points;
    uint32_t tilePlaces;
    uint32_t places;
    uint32_t names;
    uint32_t fileSize;
    uint32_t reserved;
};

// A section of count items of itemSize bytes at offset, inside the file.
bool Fits(uint64_t offset, uint64_t count, uint64_t itemSize, uint64_t size) {
    return offset % 4 == 0 && offset <= size && count * itemSize <= size - offset;
}

// A tile table: tiles + 1 first indices that never go down and end at count.
bool Ascends(const uint32_t* table, uint32_t entries, uint32_t count) {
    if (table[0] != 0 || table[entries - 1] != count) {
        return false;
    }
    for (uint32_t i = 1; i < entries; ++i) {
        if (table[i] < table[i - 1]) {
            return false;
        }
    }
    return true;
}

} // namespace

GeoData::~GeoData() {
    Close();
}

void GeoData::Close() {
    if (view) {
        UnmapViewOfFile(view);
        view = nullptr;
    }
    if (mapping) {
        CloseHandle(mapping);
        mapping = nullptr;
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    size = 0;
}

bool GeoData::Fail(const std::string& why) {
    Close();
    error = why;
    return false;
}

bool GeoData::Open(const std::wstring& path) {
    Close();
    error.clear();
    file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Fail("cannot open the map file (error " + std::to_string(GetLastError()) + ")");
    }
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length) || length.QuadPart < LONGLONG(sizeof(Header)) ||
        length.QuadPart > 0xFFFFFFFFll) {
        return Fail("the map file is too short or too long");
    }
    size = uint64_t(length.QuadPart);
    mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    view = mapping ? static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))
                   : nullptr;
    if (!view) {
        return Fail("cannot map the map file (error " + std::to_string(GetLastError()) + ")");
    }
    Header header;
    std::memcpy(&header, view, sizeof(header));
    if (std::memcmp(header.magic, kMagic, sizeof(kMagic)) != 0) {
        return Fail("not a map file");
    }
    const uint64_t tiles = uint64_t(1) << (2 * std::min(header.tileZoom, kMaxTileZoom));
    if (header.tileZoom > kMaxTileZoom || header.fileSize != size ||
        !Fits(header.tilePieces, tiles + 1, 4, size) ||
        !Fits(header.pieces, header.pieceCount, sizeof(Piece), size) ||
        !Fits(header.points, header.pointCount, sizeof(Point), size) ||
        !Fits(header.tilePlaces, tiles + 1, 4, size) ||
        !Fits(header.places, header.placeCount, sizeof(Place), size) ||
        !Fits(header.names, header.nameBytes, 1, size)) {
        return Fail("the map file's sections do not fit in it");
    }
    tileZoom = header.tileZoom;
    tilePieces = reinterpret_cast<const uint32_t*>(view + header.tilePieces);
    tilePlaces = reinterpret_cast<const uint32_t*>(view + header.tilePlaces);
    pieces = reinterpret_cast<const Piece*>(view + header.pieces);
    points = reinterpret_cast<const Point*>(view + header.points);
    places = reinterpret_cast<const Place*>(view + header.places);
    names = reinterpret_cast<const char*>(view + header.names);
    if (!Ascends(tilePieces, uint32_t(tiles + 1), header.pieceCount) ||
        !Ascends(tilePlaces, uint32_t(tiles + 1), header.placeCount)) {
        return Fail("the map file's tile tables are damaged");
    }
    for (uint32_t i = 0; i < header.pieceCount; ++i) {
        if (pieces[i].pointCount < 2 || pieces[i].firstPoint > header.pointCount ||
            pieces[i].pointCount > header.pointCount - pieces[i].firstPoint) {
            return Fail("the map file's piece " + std::to_string(i) + " is damaged");
        }
    }
    for (uint32_t i = 0; i < header.placeCount; ++i) {
        if (places[i].nameOffset > header.nameBytes ||
            places[i].nameLength > header.nameBytes - places[i].nameOffset) {
            return Fail("the map file's place " + std::to_string(i) + " is damaged");
        }
    }
    return true;
}

void GeoData::TilePieces(uint32_t tx, uint32_t ty, uint32_t& first, uint32_t& end) const {
    const uint32_t tile = (ty << tileZoom) + tx;
    first = tilePieces[tile];
    end = tilePieces[tile + 1];
}

void GeoData::TilePlaces(uint32_t tx, uint32_t ty, uint32_t& first, uint32_t& end) const {
    const uint32_t tile = (ty << tileZoom) + tx;
    first = tilePlaces[tile];
    end = tilePlaces[tile + 1];
}

std::string GeoData::PlaceName(const Place& place) const {
    return std::string(names + place.nameOffset, place.nameLength);
}
