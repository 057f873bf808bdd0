#include "TowerIndex.h"

#include <algorithm>
#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;
const double kWorld = 4294967296.0;
const double kMaxLat = 85.0511287798;

uint64_t Spread(uint32_t value) {
    uint64_t v = value;
    v = (v | (v << 16)) & 0x0000FFFF0000FFFFull;
    v = (v | (v << 8)) & 0x00FF00FF00FF00FFull;
    v = (v | (v << 4)) & 0x0F0F0F0F0F0F0F0Full;
    v = (v | (v << 2)) & 0x3333333333333333ull;
    v = (v | (v << 1)) & 0x5555555555555555ull;
    return v;
}

uint64_t ZOrder(uint32_t x, uint32_t y) {
    return Spread(x) | Spread(y) << 1;
}

uint64_t KeyOf(const TowerIndex::Tower& tower) {
    return ZOrder(tower.x, tower.y);
}

uint32_t ToWorld(double value) {
    return static_cast<uint32_t>(std::min(std::max(value, 0.0), kWorld - 1.0));
}

} // namespace

uint32_t TowerIndex::WorldX(int32_t lon) {
    return ToWorld((lon / 1e7 + 180.0) / 360.0 * kWorld);
}

uint32_t TowerIndex::WorldY(int32_t lat) {
    const double degrees = std::min(std::max(lat / 1e7, -kMaxLat), kMaxLat);
    const double s = std::sin(degrees * kPi / 180.0);
    return ToWorld((0.5 - std::log((1 + s) / (1 - s)) / (4 * kPi)) * kWorld);
}

void TowerIndex::Build(const std::vector<CellRecord>& cells) {
    towers.clear();
    towers.shrink_to_fit();
    towers.reserve(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        towers.push_back({WorldX(cells[i].lon), WorldY(cells[i].lat), static_cast<uint32_t>(i)});
    }
    std::sort(towers.begin(), towers.end(),
              [](const Tower& a, const Tower& b) { return KeyOf(a) < KeyOf(b); });
}

void TowerIndex::Find(uint64_t x0, uint64_t y0, uint64_t x1, uint64_t y1, int level, size_t perTile,
                      std::vector<uint32_t>& out) const {
    x1 = std::min<uint64_t>(x1, uint64_t(1) << 32);
    y1 = std::min<uint64_t>(y1, uint64_t(1) << 32);
    if (towers.empty() || x0 >= x1 || y0 >= y1) {
        return;
    }
    level = std::min(std::max(level, 1), 16);
    const int shift = 32 - level;
    const uint64_t tileSpan = uint64_t(1) << (2 * shift);
    auto byKey = [](const Tower& tower, uint64_t key) { return KeyOf(tower) < key; };
    for (uint64_t ty = y0 >> shift; ty <= (y1 - 1) >> shift; ++ty) {
        for (uint64_t tx = x0 >> shift; tx <= (x1 - 1) >> shift; ++tx) {
            const uint64_t first = ZOrder(uint32_t(tx << shift), uint32_t(ty << shift));
            auto begin = std::lower_bound(towers.begin(), towers.end(), first, byKey);
            auto end = first + tileSpan < first
                           ? towers.end()
                           : std::lower_bound(begin, towers.end(), first + tileSpan, byKey);
            const size_t count = size_t(end - begin);
            const size_t step = perTile == 0 ? 1 : std::max<size_t>(1, count / perTile);
            for (size_t i = 0; i < count; i += step) {
                const Tower& tower = begin[i];
                if (tower.x >= x0 && tower.x < x1 && tower.y >= y0 && tower.y < y1) {
                    out.push_back(static_cast<uint32_t>(begin - towers.begin() + i));
                }
            }
        }
    }
}
