#include "CellRecord.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

const char* RadioName(Radio radio) {
    switch (radio) {
    case Radio::Gsm:
        return "GSM";
    case Radio::Umts:
        return "UMTS";
    case Radio::Lte:
        return "LTE";
    case Radio::Nr:
        return "NR";
    }
    return "?";
}

std::string NetworkId(uint16_t mcc, uint16_t net) {
    char text[8];
    std::snprintf(text, sizeof text, net > 99 ? "%03u%03u" : "%03u%02u", unsigned(mcc) % 1000,
                  unsigned(net) % 1000);
    return text;
}

bool ParseNetworkId(const std::string& id, uint16_t& mcc, uint16_t& net) {
    if (id.size() != 5 && id.size() != 6) {
        return false;
    }
    for (char c : id) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    mcc = static_cast<uint16_t>(std::atoi(id.substr(0, 3).c_str()));
    net = static_cast<uint16_t>(std::atoi(id.substr(3).c_str()));
    return NetworkId(mcc, net) == id;
}

size_t PutCoordinate(char* to, int32_t value, uint8_t decimals, uint8_t maxDecimals) {
    char* p = to;
    if (value < 0) {
        *p++ = '-';
    }
    const uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
    const uint32_t whole = magnitude / 10000000u;
    if (whole >= 100) {
        *p++ = static_cast<char>('0' + whole / 100);
    }
    if (whole >= 10) {
        *p++ = static_cast<char>('0' + whole / 10 % 10);
    }
    *p++ = static_cast<char>('0' + whole % 10);
    const int shown = std::min(decimals, maxDecimals);
    if (shown > 0) {
        *p++ = '.';
        uint32_t fraction = magnitude % 10000000u;
        for (int i = 0; i < shown; ++i) {
            *p++ = static_cast<char>('0' + fraction / 1000000u);
            fraction = fraction % 1000000u * 10;
        }
    }
    return p - to;
}

std::string CoordinateText(int32_t value, uint8_t decimals, uint8_t maxDecimals) {
    char text[16];
    return std::string(text, PutCoordinate(text, value, decimals, maxDecimals));
}

namespace {

// Network and area in one number, in the order of NetworkKey: mcc, network code, area.
uint64_t AreaKey(const CellRecord& cell) {
    return (uint64_t(cell.mcc) << 16 | cell.net) << 32 | cell.area;
}

// Unknown update times and sample counts rank below every known one.
uint64_t Rank(uint32_t value) {
    return value == kNoValue ? 0 : uint64_t(value) + 1;
}

// A type of its own (not a function pointer) lets the sort inline the comparison.
struct CellLess {
    bool operator()(const CellRecord& a, const CellRecord& b) const {
        if (AreaKey(a) != AreaKey(b)) {
            return AreaKey(a) < AreaKey(b);
        }
        if (a.cell != b.cell) {
            return a.cell < b.cell;
        }
        if (a.updated != b.updated) {
            return Rank(a.updated) > Rank(b.updated);
        }
        if (a.samples != b.samples) {
            return Rank(a.samples) > Rank(b.samples);
        }
        // Whatever remains only makes the choice the same on every run.
        if (a.radio != b.radio) {
            return a.radio < b.radio;
        }
        if (a.lat != b.lat) {
            return a.lat < b.lat;
        }
        if (a.lon != b.lon) {
            return a.lon < b.lon;
        }
        if (a.range != b.range) {
            return a.range < b.range;
        }
        if (a.channel != b.channel) {
            return a.channel < b.channel;
        }
        if (a.district != b.district) {
            return a.district < b.district;
        }
        if (a.latDecimals != b.latDecimals) {
            return a.latDecimals < b.latDecimals;
        }
        return a.lonDecimals < b.lonDecimals;
    }
};

// Moves each network's cells together, networks in the order of NetworkKey (each cell moved at
// most once); returns where each network's cells are.
std::vector<std::pair<size_t, size_t>> PutNetworksApart(std::vector<CellRecord>& cells) {
    uint32_t lastKey = 0;
    for (const CellRecord& cell : cells) {
        lastKey = std::max(lastKey, NetworkKey(cell));
    }
    // bucket: a network key's count, then its index in ranges.
    std::vector<uint32_t> bucket(lastKey + 1, 0);
    for (const CellRecord& cell : cells) {
        ++bucket[NetworkKey(cell)];
    }
    std::vector<std::pair<size_t, size_t>> ranges;
    std::vector<size_t> next;
    for (uint32_t key = 0; key <= lastKey; ++key) {
        if (bucket[key] > 0) {
            const size_t begin = ranges.empty() ? 0 : ranges.back().second;
            ranges.push_back({begin, begin + bucket[key]});
            next.push_back(begin);
            bucket[key] = static_cast<uint32_t>(ranges.size() - 1);
        }
    }
    // Each swap puts a cell where its network goes.
    for (size_t network = 0; network < ranges.size(); ++network) {
        while (next[network] < ranges[network].second) {
            CellRecord& cell = cells[next[network]];
            const uint32_t home = bucket[NetworkKey(cell)];
            if (home == network) {
                ++next[network];
            } else {
                std::swap(cell, cells[next[home]++]);
            }
        }
    }
    return ranges;
}

} // namespace

void SortCells(std::vector<CellRecord>& cells) {
    if (cells.size() < 100000) {
        std::sort(cells.begin(), cells.end(), CellLess());
        return;
    }
    // Millions of cells: the networks are put apart, then sorted on two threads, each taking
    // the largest network left. A network of more than half the cells is split at its median
    // first, so that both threads share it.
    std::vector<std::pair<size_t, size_t>> ranges = PutNetworksApart(cells);
    auto larger = [](const std::pair<size_t, size_t>& a, const std::pair<size_t, size_t>& b) {
        return a.second - a.first > b.second - b.first;
    };
    std::sort(ranges.begin(), ranges.end(), larger);
    const std::pair<size_t, size_t> largest = ranges[0];
    if (largest.second - largest.first > cells.size() / 2) {
        const size_t middle = largest.first + (largest.second - largest.first) / 2;
        std::nth_element(cells.begin() + largest.first, cells.begin() + middle,
                         cells.begin() + largest.second, CellLess());
        ranges[0].second = middle;
        ranges.insert(ranges.begin() + 1, {middle, largest.second});
    }
    std::atomic<size_t> taken(0);
    auto sortNetworks = [&] {
        for (size_t range; (range = taken++) < ranges.size();) {
            std::sort(cells.begin() + ranges[range].first, cells.begin() + ranges[range].second,
                      CellLess());
        }
    };
    std::thread helper(sortNetworks);
    sortNetworks();
    helper.join();
}

bool CellBefore(const CellRecord& a, const CellRecord& b) {
    return CellLess()(a, b);
}

size_t MergeRepeatedLines(CellRecord* cells, size_t count) {
    size_t kept = 0;
    size_t keyStart = 0; // the kept cells of the last key: [keyStart, kept)
    for (size_t i = 0; i < count; ++i) {
        if (kept == 0 || !SameKey(cells[keyStart], cells[i])) {
            keyStart = kept;
        } else {
            // A key has a cell of each radio at most: the search is short.
            size_t same = keyStart;
            while (same < kept && cells[same].radio != cells[i].radio) {
                ++same;
            }
            if (same < kept) {
                continue;
            }
        }
        cells[kept++] = cells[i];
    }
    return kept;
}

size_t MergeDuplicates(CellRecord* cells, size_t count, std::vector<CellRecord>* conflicts) {
    if (count == 0) {
        return 0;
    }
    size_t kept = 0;
    for (size_t i = 1; i < count; ++i) {
        if (!SameKey(cells[kept], cells[i])) {
            cells[++kept] = cells[i];
        } else if (conflicts && cells[i].radio != cells[kept].radio) {
            conflicts->push_back(cells[i]);
        }
    }
    return kept + 1;
}
