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

    const char* Text(size_t line, Piece piece) const {
        return arena.data() + lines[line].offset[piece];
    }
    size_t Length(size_t line, Piece piece) const { return lines[line].length[piece]; }
    // The part of a piece that no shortening removes.
    size_t KeptLength(size_t line, Piece piece) const { return lines[line].kept[piece]; }
    // Drops a piece, or cuts a coordinate to length (not below its kept length).
    void Shorten(size_t line, Piece piece, size_t length);

    // The line as the database holds it, with CR LF.
    void AppendLine(size_t line, std::string& out) const;

    static const char* PieceName(Piece piece);

private:
    struct Pieces {
        uint32_t offset[PieceCount];
        uint8_t length[PieceCount];
        uint8_t kept[PieceCount];
    };
    void Add(Pieces& pieces, Piece piece, const char* text, size_t length, size_t kept);
    void AddCoordinate(Pieces& pieces, Piece piece, int32_t value, uint8_t decimals);

    const CellRecord* cells = nullptr;
    std::string arena;
    std::vector<Pieces> lines;
};
