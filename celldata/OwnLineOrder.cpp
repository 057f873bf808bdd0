#include "OwnLineOrder.h"

#include <algorithm>
#include <functional>

namespace {

const uint64_t kNoId = ~uint64_t(0);
const uint32_t kNoLine = ~uint32_t(0);

int DigitCount(uint64_t value) {
    int count = 1;
    while (value >= 10) {
        value /= 10;
        ++count;
    }
    return count;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

void OwnLineOrder::BuildIdTable(const BtsLineTexts& texts) {
    const size_t count = texts.Size();
    size_t capacity = 16;
    while (capacity < 2 * count) {
        capacity *= 2;
    }
    slotIds.assign(capacity, kNoId);
    slotLines.assign(capacity, kNoLine);
    slotMask = capacity - 1;
    minDigits = 99;
    maxDigits = 0;
    for (size_t line = 0; line < count; ++line) {
        const uint64_t id = texts.Cell(line).cell;
        uint64_t slot = (id * 0x9E3779B97F4A7C15ull >> 32) & slotMask;
        while (slotIds[slot] != kNoId && slotIds[slot] != id) {
            slot = (slot + 1) & slotMask;
        }
        slotIds[slot] = id;
        slotLines[slot] = static_cast<uint32_t>(line);
        minDigits = std::min(minDigits, DigitCount(id));
        maxDigits = std::max(maxDigits, DigitCount(id));
    }
}

uint32_t OwnLineOrder::FindId(uint64_t id) const {
    uint64_t slot = (id * 0x9E3779B97F4A7C15ull >> 32) & slotMask;
    while (slotIds[slot] != kNoId) {
        if (slotIds[slot] == id) {
            return slotLines[slot];
        }
        slot = (slot + 1) & slotMask;
    }
    return kNoLine;
}

template <class Hit>
void OwnLineOrder::ForEachHit(const BtsLineTexts& texts, uint32_t line, Hit hit) const {
    for (int p = 0; p < BtsLineTexts::PieceCount; ++p) {
        const BtsLineTexts::Piece piece = static_cast<BtsLineTexts::Piece>(p);
        const char* text = texts.Text(line, piece);
        const size_t length = texts.Length(line, piece);
        size_t runStart = 0;
        while (runStart < length) {
            if (!IsDigit(text[runStart])) {
                ++runStart;
                continue;
            }
            size_t runEnd = runStart;
            while (runEnd < length && IsDigit(text[runEnd])) {
                ++runEnd;
            }
            // Every substring of the run that is an id's text: ids have no leading zero.
            for (size_t start = runStart; start < runEnd; ++start) {
                const size_t last = std::min(runEnd, start + (text[start] == '0' ? 1 : maxDigits));
                uint64_t value = 0;
                for (size_t end = start; end < last; ++end) {
                    value = value * 10 + (text[end] - '0');
                    if (int(end - start) + 1 < minDigits) {
                        continue;
                    }
                    const uint32_t source = FindId(value);
                    if (source != kNoLine && source != line) {
                        hit(source, piece, end + 1);
                    }
                }
            }
            runStart = runEnd;
        }
    }
}

void OwnLineOrder::BuildGraph(const BtsLineTexts& texts) {
    const uint32_t count = static_cast<uint32_t>(texts.Size());
    waitingIds.assign(count, 0);
    keptWaitingIds.assign(count, 0);
    firstEdge.assign(count + 1, 0);
    // Hits as (source, target, kept), then grouped by source.
    std::vector<uint64_t> hits;
    for (uint32_t line = 0; line < count; ++line) {
        ForEachHit(texts, line, [&](uint32_t source, BtsLineTexts::Piece piece, size_t end) {
            const bool kept = end <= texts.KeptLength(line, piece);
            hits.push_back(uint64_t(source) << 33 | uint64_t(line) << 1 | (kept ? 1 : 0));
            ++waitingIds[line];
            keptWaitingIds[line] += kept ? 1 : 0;
            ++firstEdge[source + 1];
        });
    }
    for (uint32_t line = 0; line < count; ++line) {
        firstEdge[line + 1] += firstEdge[line];
    }
    edgeTarget.resize(hits.size());
    edgeKept.resize(hits.size());
    std::vector<uint32_t> next(firstEdge.begin(), firstEdge.end() - 1);
    for (uint64_t hit : hits) {
        const uint32_t at = next[hit >> 33]++;
        edgeTarget[at] = static_cast<uint32_t>(hit >> 1);
        edgeKept[at] = hit & 1;
    }
}

void OwnLineOrder::Release(uint32_t line) {
    for (uint32_t edge = firstEdge[line]; edge < firstEdge[line + 1]; ++edge) {
        const uint32_t target = edgeTarget[edge];
        if (state[target] != Waiting) {
            continue;
        }
        --waitingIds[target];
        keptWaitingIds[target] -= edgeKept[edge];
        if (waitingIds[target] == 0) {
            ready.push_back(target);
        }
        if (!changed[target]) {
            changed[target] = 1;
            changedLines.push_back(target);
        }
    }
}

uint32_t OwnLineOrder::PickLeastHarm() {
    // Heap entries: kept ids, then all ids, then the line (so the smaller id on a tie).
    auto key = [this](uint32_t line) {
        return uint64_t(std::min<uint32_t>(keptWaitingIds[line], 0x7FFF)) << 48 |
               uint64_t(std::min<uint32_t>(waitingIds[line], 0xFFFF)) << 32 | line;
    };
    for (uint32_t line : changedLines) {
        changed[line] = 0;
        if (state[line] == Waiting) {
            harmHeap.push_back(key(line));
            std::push_heap(harmHeap.begin(), harmHeap.end(), std::greater<uint64_t>());
        }
    }
    changedLines.clear();
    for (;;) {
        std::pop_heap(harmHeap.begin(), harmHeap.end(), std::greater<uint64_t>());
        const uint64_t entry = harmHeap.back();
        harmHeap.pop_back();
        const uint32_t line = static_cast<uint32_t>(entry);
        if (state[line] == Waiting && key(line) == entry) {
            return line;
        }
    }
}

void OwnLineOrder::PlaceBreakingCycle(BtsLineTexts& texts, uint32_t line,
                                      std::vector<Shadowed>& shadowed) {
    bool drop[BtsLineTexts::PieceCount] = {};
    size_t cut[BtsLineTexts::PieceCount];
    for (int p = 0; p < BtsLineTexts::PieceCount; ++p) {
        cut[p] = texts.Length(line, BtsLineTexts::Piece(p));
    }
    ForEachHit(texts, line, [&](uint32_t source, BtsLineTexts::Piece piece, size_t end) {
        if (state[source] != Waiting || end <= texts.KeptLength(line, piece)) {
            return;
        }
        if (piece == BtsLineTexts::Latitude || piece == BtsLineTexts::Longitude) {
            cut[piece] = std::min(cut[piece], end - 1);
        } else {
            drop[piece] = true;
        }
    });
    for (int p = 0; p < BtsLineTexts::PieceCount; ++p) {
        const BtsLineTexts::Piece piece = BtsLineTexts::Piece(p);
        if (drop[p]) {
            texts.Shorten(line, piece, 0);
        } else if (cut[p] < texts.Length(line, piece)) {
            texts.Shorten(line, piece, cut[p]);
        }
    }
    const size_t firstLost = shadowed.size();
    ForEachHit(texts, line, [&](uint32_t source, BtsLineTexts::Piece piece, size_t) {
        if (state[source] == Waiting) {
            state[source] = Lost;
            shadowed.push_back({source, line, piece});
        }
    });
    for (size_t i = firstLost; i < shadowed.size(); ++i) {
        Release(shadowed[i].line);
    }
}

void OwnLineOrder::Arrange(BtsLineTexts& texts, std::vector<uint32_t>& order,
                           std::vector<Shadowed>& shadowed) {
    const uint32_t count = static_cast<uint32_t>(texts.Size());
    order.clear();
    const size_t firstLost = shadowed.size();
    if (count == 0) {
        return;
    }
    BuildIdTable(texts);
    BuildGraph(texts);
    state.assign(count, Waiting);
    ready.clear();
    for (uint32_t line = 0; line < count; ++line) {
        if (waitingIds[line] == 0) {
            ready.push_back(line);
        }
    }
    // Every line enters the heap at the first cycle.
    changed.assign(count, 1);
    changedLines.resize(count);
    for (uint32_t line = 0; line < count; ++line) {
        changedLines[line] = line;
    }
    harmHeap.clear();

    size_t nextReady = 0;
    size_t settled = 0;
    while (settled < count) {
        uint32_t line;
        if (nextReady < ready.size()) {
            line = ready[nextReady++];
            if (state[line] != Waiting) {
                continue;
            }
        } else {
            line = PickLeastHarm();
            const size_t lostBefore = shadowed.size();
            PlaceBreakingCycle(texts, line, shadowed);
            settled += shadowed.size() - lostBefore;
        }
        state[line] = Placed;
        order.push_back(line);
        ++settled;
        Release(line);
    }
    for (size_t i = firstLost; i < shadowed.size(); ++i) {
        order.push_back(shadowed[i].line);
    }
}
