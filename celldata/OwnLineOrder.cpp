#include "OwnLineOrder.h"

#include <algorithm>
#include <functional>

namespace {

const int32_t kNone = -1;
// Decimal digits of the longest cell id (36 bits), and one more.
const int kMaxDigits = 12;

} // namespace

void OwnLineOrder::BuildMatcher(const BtsLineTexts& texts) {
    // The ids in the order of their decimal texts ("12" < "120" < "13"): the key is the digits
    // left-aligned to twelve places, then the length.
    const size_t count = texts.Size();
    sortedIds.resize(count);
    for (size_t line = 0; line < count; ++line) {
        const uint64_t id = texts.Cell(line).cell;
        uint64_t aligned = id;
        int length = 1;
        for (uint64_t rest = id / 10; rest; rest /= 10) {
            ++length;
        }
        for (int i = length; i < kMaxDigits; ++i) {
            aligned *= 10;
        }
        sortedIds[line] = {aligned << 4 | uint64_t(length), static_cast<uint32_t>(line)};
    }
    std::sort(sortedIds.begin(), sortedIds.end());
    // Each id's digits, and how many of them it shares with the id before it.
    digits.resize(count * kMaxDigits);
    commonPrefix.resize(count);
    int longest = 0;
    for (size_t i = 0; i < count; ++i) {
        uint64_t aligned = sortedIds[i].first >> 4;
        char* own = &digits[i * kMaxDigits];
        for (int at = kMaxDigits - 1; at >= 0; --at) {
            own[at] = static_cast<char>(aligned % 10);
            aligned /= 10;
        }
        const int length = static_cast<int>(sortedIds[i].first & 15);
        longest = std::max(longest, length);
        int common = 0;
        if (i > 0) {
            const char* before = own - kMaxDigits;
            const int shorter = std::min(length, static_cast<int>(sortedIds[i - 1].first & 15));
            while (common < shorter && before[common] == own[common]) {
                ++common;
            }
        }
        commonPrefix[i] = static_cast<uint8_t>(common);
    }

    // The trie level by level, so that nodes are numbered breadth first: the few shallow nodes
    // that a scan visits nearly all the time lie together, a node's failure link points to a
    // node numbered before it, and the children of a node follow each other in digit order.
    // An id shares its node at each depth with the id before it as far as their common prefix
    // goes.
    Node empty;
    std::fill(empty.next, empty.next + 10, 0);
    empty.match = empty.report = kNone;
    nodes.assign(1, empty);
    parent.assign(1, 0);
    parentDigit.assign(1, 0);
    at.assign(count, 0);
    for (int depth = 1; depth <= longest; ++depth) {
        for (size_t i = 0; i < count; ++i) {
            const int length = static_cast<int>(sortedIds[i].first & 15);
            if (length < depth) {
                continue;
            }
            if (commonPrefix[i] >= depth) {
                at[i] = at[i - 1];
            } else {
                parent.push_back(at[i]);
                parentDigit.push_back(static_cast<uint8_t>(digits[i * kMaxDigits + depth - 1]));
                at[i] = static_cast<int32_t>(nodes.size());
                nodes.push_back(empty);
            }
            if (length == depth) {
                nodes[at[i]].match = static_cast<int32_t>(sortedIds[i].second);
            }
        }
    }

    // In node order, each node's failure link (the longest proper suffix that is a node) comes
    // from its parent's. A node's transitions are its failure link's, then its own children.
    failure.assign(nodes.size(), 0);
    size_t child = 1;
    for (size_t node = 0; node < nodes.size(); ++node) {
        Node& own = nodes[node];
        if (node > 0) {
            const int32_t up = parent[node];
            const int32_t fail = up == 0 ? 0 : nodes[failure[up]].next[parentDigit[node]];
            failure[node] = fail;
            const Node& fallback = nodes[fail];
            std::copy(fallback.next, fallback.next + 10, own.next);
            own.report = own.match != kNone ? static_cast<int32_t>(node) : fallback.report;
        }
        for (; child < nodes.size() && parent[child] == static_cast<int32_t>(node); ++child) {
            own.next[parentDigit[child]] = static_cast<int32_t>(child);
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
