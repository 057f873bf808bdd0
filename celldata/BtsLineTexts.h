#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CellRecord.h"

// The texts of one area's BTS database lines, Windows-1250, one line per cell:
//
//   1 cell id; 2 radio; 3 area; 4 channel; 5 radio and cell ("LTE eNB 102669/9");
//   6 district; 7 "±850 m, 12 měření, 12.3.2019"; 8 latitude; 9 longitude
//
// Each text that holds digits is kept as a piece that the ordering (OwnLineOrder) may drop
// (channel, eNB or RNC parts, district, range, samples, date) or cut (coordinates, down to
// three decimals), so that the line no longer holds another cell's id. The cell id and the
// area always stay whole.
class BtsLineTexts {
public:
    enum Piece {
        Id,
        Area,
        Channel,
        CellParts,
        District,
        Range,
        Samples,
        Updated,
        Latitude,
        Longitude,
        PieceCount
    };

    // Coordinates are written with up to five decimals (about a metre) and may be cut to three.
    static const uint8_t kCoordinateDecimals = 5;
    static const uint8_t kKeptDecimals = 3;

    // cells: one area's cells, distinct ids; districts: CellExportReader::Districts().
    void Build(const CellRecord* cells, size_t count, const std::vector<std::string>& districts);
    size_t Size() const { return lines.size(); }
    const CellRecord& Cell(size_t line) const { return cells[line]; }

    // A piece's text; 32 bytes can be read from it whatever its length.
    const char* Text(size_t line, Piece piece) const {
        return arena.data() + lines[line].offset[piece];
    }
    size_t Length(size_t line, Piece piece) const { return lines[line].length[piece]; }
    // The part of a piece that no shortening removes.
    size_t KeptLength(size_t line, Piece piece) const { return lines[line].kept[piece]; }
    // Drops a piece, or cuts a coordinate to length (not below its kept length).
    void Shorten(size_t line, Piece piece, size_t length);

    // The lines in that order as the database holds them, with CR LF.
    void AppendLines(const std::vector<uint32_t>& order, std::string& out);

    static const char* PieceName(Piece piece);

private:
    struct Pieces {
        uint32_t offset[PieceCount];
        uint8_t length[PieceCount];
        uint8_t kept[PieceCount];
    };
    // Room for that many bytes after the texts so far (and kSlack more); where they end.
    char* Room(size_t bytes);

    // Bytes past the end of the texts that may be read or written.
    static const size_t kSlack = 32;

    const CellRecord* cells = nullptr;
    std::vector<char> arena; // the texts of all pieces: [0, used)
    size_t used = 0;
    std::vector<Pieces> lines;
    std::vector<char> lineBytes;
};
