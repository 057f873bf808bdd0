#include "CellDrive.h"

#include <algorithm>

namespace {

int64_t LocalDay(int64_t local) {
    const int64_t kDay = 86400;
    return local / kDay - (local % kDay < 0);
}

} // namespace

void CellDrive::BeginLog(const std::string& name) {
    logNames.push_back(name);
    previousUtc = INT64_MIN;
}

void CellDrive::Add(const CellLogLine& line) {
    key = line.network;
    key += ';';
    key += line.lac;
    key += ';';
    key += line.cell;
    auto found = cellIndex.find(key);
    if (found == cellIndex.end()) {
        found = cellIndex.emplace(key, static_cast<uint32_t>(cells.size())).first;
        cells.push_back({line.network, line.lac, line.cell, TowerPosition()});
    }
    auto bcch = bcchIndex.find(line.bcch);
    if (bcch == bcchIndex.end()) {
        bcch = bcchIndex.emplace(line.bcch, static_cast<uint32_t>(bcchTexts.size())).first;
        bcchTexts.push_back(line.bcch);
    }
    int64_t candidates[2];
    const int count = zone.Candidates(line.local, candidates);
    int64_t utc = candidates[0];
    if (count == 2) {
        ++repeatedHour;
        // The earlier reading unless it would put the line before the one written before it.
        if (candidates[0] < previousUtc && candidates[1] >= previousUtc) {
            utc = candidates[1];
        }
    }
    previousUtc = utc;
    stays.push_back({utc, line.local, kNoEnd, found->second, line.line,
                     static_cast<uint32_t>(logNames.size() - 1), bcch->second});
}

void CellDrive::Finish() {
    auto earlier = [](const Stay& a, const Stay& b) { return a.utc < b.utc; };
    // One log is in order already.
    if (!std::is_sorted(stays.begin(), stays.end(), earlier)) {
        std::stable_sort(stays.begin(), stays.end(), earlier);
    }
    // Copies of a line stand among the stays of the same second.
    size_t kept = 0;
    size_t second = 0; // the first kept stay of the current second
    for (size_t i = 0; i < stays.size(); ++i) {
        if (kept == 0 || stays[i].utc != stays[second].utc) {
            second = kept;
        } else {
            const Stay& stay = stays[i];
            const bool copy = std::any_of(
                stays.begin() + second, stays.begin() + kept, [&stay](const Stay& other) {
                    return other.cell == stay.cell && other.bcch == stay.bcch;
                });
            if (copy) {
                ++duplicates;
                continue;
            }
        }
        if (kept != i) {
            stays[kept] = stays[i];
        }
        ++kept;
    }
    stays.resize(kept);
    for (size_t i = 0; i + 1 < stays.size(); ++i) {
        stays[i].end = stays[i + 1].utc;
    }
}

size_t CellDrive::LocatedCells() const {
    return std::count_if(cells.begin(), cells.end(),
                         [](const DriveCell& cell) { return cell.tower.Known(); });
}

std::vector<std::pair<size_t, size_t>> CellDrive::Days() const {
    std::vector<std::pair<size_t, size_t>> days;
    for (size_t i = 0; i < stays.size(); ++i) {
        if (days.empty() || LocalDay(stays[i].local) != LocalDay(stays[days.back().first].local)) {
            days.push_back({i, i});
        }
        days.back().second = i + 1;
    }
    return days;
}

std::vector<uint32_t> CellDrive::Path(size_t first, size_t last) const {
    std::vector<uint32_t> path;
    for (size_t i = first; i < last; ++i) {
        const TowerPosition& tower = cells[stays[i].cell].tower;
        if (!tower.Known()) {
            continue;
        }
        if (!path.empty()) {
            const TowerPosition& before = cells[path.back()].tower;
            if (before.lat == tower.lat && before.lon == tower.lon) {
                continue;
            }
        }
        path.push_back(stays[i].cell);
    }
    return path;
}
