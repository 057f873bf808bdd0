#include "CellRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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

std::string CoordinateText(int32_t value, uint8_t decimals, uint8_t maxDecimals) {
    const uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
    char text[24];
    int length = std::snprintf(text, sizeof text, "%s%u.%07u", value < 0 ? "-" : "",
                               magnitude / 10000000u, magnitude % 10000000u);
    const int shown = std::min(decimals, maxDecimals);
    // Drop the decimals not shown, and the dot when none is.
    length -= kMaxDecimals - shown;
    if (shown == 0) {
        --length;
    }
    return std::string(text, length);
}

namespace {

bool KeyLess(const CellRecord& a, const CellRecord& b) {
    if (a.mcc != b.mcc) {
        return a.mcc < b.mcc;
    }
    if (a.net != b.net) {
        return a.net < b.net;
    }
    if (a.area != b.area) {
        return a.area < b.area;
    }
    return a.cell < b.cell;
}

bool SameKey(const CellRecord& a, const CellRecord& b) {
    return a.mcc == b.mcc && a.net == b.net && a.area == b.area && a.cell == b.cell;
}

// Unknown update times and sample counts rank below every known one.
uint64_t Rank(uint32_t value) {
    return value == kNoValue ? 0 : uint64_t(value) + 1;
}

} // namespace

void SortCells(std::vector<CellRecord>& cells) {
    std::sort(cells.begin(), cells.end(), [](const CellRecord& a, const CellRecord& b) {
        if (!SameKey(a, b)) {
            return KeyLess(a, b);
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
        return a.lon < b.lon;
    });
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
