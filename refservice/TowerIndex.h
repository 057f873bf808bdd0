#pragma once

#include <cstdint>
#include <vector>

#include "CellRecord.h"

// The loaded cells placed on the map: their Web Mercator world coordinates (32 bits each) in
// Z order, so that the towers of any quadtree tile lie side by side and a map finds those of
// its tiles by two binary searches, however many cells are loaded.
class TowerIndex {
public:
    struct Tower {
        uint32_t x, y;
        uint32_t cell; // index into the cells the index was built from
    };

    // cells: they must outlive the index and stay unchanged while it is used.
    void Build(const std::vector<CellRecord>& cells);
    size_t Size() const { return towers.size(); }
    size_t MemoryBytes() const { return towers.capacity() * sizeof(Tower); }
    const Tower& At(size_t index) const { return towers[index]; }

    // The towers inside [x0, x1) x [y0, y1), visited by the tiles of `level` that cover it: of
    // a tile with more than perTile towers only every n-th is taken, which in Z order spreads
    // them evenly over the tile. Indices go into out.
    void Find(uint64_t x0, uint64_t y0, uint64_t x1, uint64_t y1, int level, size_t perTile,
              std::vector<uint32_t>& out) const;

    static uint32_t WorldX(int32_t lon);
    static uint32_t WorldY(int32_t lat);

private:
    std::vector<Tower> towers;
};
