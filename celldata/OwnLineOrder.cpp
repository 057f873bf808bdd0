#include "OwnLineOrder.h"

#include <algorithm>
#include <functional>

namespace {

const int32_t kNone = -1;

} // namespace

void OwnLineOrder::BuildMatcher(const BtsLineTexts& texts) {
    Node empty;
    std::fill(empty.next, empty.next + 10, kNone);
    empty.match = empty.report = kNone;
    nodes.assign(1, empty);
    nodes.reserve(texts.Size() * 8);
    char digits[24];
    for (size_t line = 0; line < texts.Size(); ++line) {
        uint64_t id = texts.Cell(line).cell;
        int count = 0;
        do {
            digits[count++] = static_cast<char>(id % 10);
            id /= 10;
        } while (id);
        int32_t node = 0;
        while (count) {
            const int digit = digits[--count];
            if (nodes[node].next[digit] == kNone) {
                nodes[node].next[digit] = static_cast<int32_t>(nodes.size());
                nodes.push_back(empty);
            }
            node = nodes[node].next[digit];
        }
        nodes[node].match = static_cast<int32_t>(line);
    }
    // Breadth first: a node's failure link (the longest proper suffix that is a node) is known
    // before its children's; missing transitions follow the failure link.
    failure.assign(nodes.size(), 0);
    queue.clear();
    for (int digit = 0; digit < 10; ++digit) {
        int32_t& child = nodes[0].next[digit];
        if (child == kNone) {
            child = 0;
        } else {
            queue.push_back(child);
        }
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const int32_t node = queue[head];
        const int32_t fail = failure[node];
        nodes[node].report = nodes[node].match != kNone ? node : nodes[fail].report;
        for (int digit = 0; digit < 10; ++digit) {
            const int32_t child = nodes[node].next[digit];
            if (child == kNone) {
                nodes[node].next[digit] = nodes[fail].next[digit];
            } else {
                failure[child] = nodes[fail].next[digit];
                queue.push_back(child);
            }
        }
    }
}

template <class Hit>
void OwnLineOrder::ForEachHit(const BtsLineTexts& texts, uint32_t line, Hit hit) const {
    for (int p = 0; p < BtsLineTexts::PieceCount; ++p) {
        const BtsLineTexts::Piece piece = static_cast<BtsLineTexts::Piece>(p);
        const char* text = texts.Text(line, piece);
        const size_t length = texts.Length(line, piece);
        int32_t state = 0;
        for (size_t at = 0; at < length; ++at) {
            const unsigned digit = static_cast<unsigned char>(text[at]) - '0';
            if (digit > 9) {
                state = 0;
                continue;
            }
            state = nodes[state].next[digit];
            // Every id that ends here: the node's own and those along the failure links.
            for (int32_t found = nodes[state].report; found != kNone;
                 found = nodes[failure[found]].report) {
                const uint32_t source = static_cast<uint32_t>(nodes[found].match);
                if (source != line) {
                    hit(source, piece, at + 1);
                }
            }
        }
    }
}

void OwnLineOrder::BuildGraph(const BtsLineTexts& texts) {
    const uint32_t count = static_cast<uint32_t>(texts.Size());
    waitingIds.assign(count, 0);
    keptWaitingIds.assign(count, 0);
    firstEdge.assign(count + 1, 0);
    // Hits as (source, target, kept), then grouped by source.
    hits.clear();
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
    nextEdge.assign(firstEdge.begin(), firstEdge.end() - 1);
    for (uint64_t hit : hits) {
        const uint32_t at = nextEdge[hit >> 33]++;
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
    BuildMatcher(texts);
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
