#include "OwnLineOrder.h"

#include <algorithm>
#include <functional>

namespace {

const int32_t kNone = -1;
// Decimal digits of the longest cell id (36 bits), and one more.
const int kMaxDigits = 12;
const uint64_t kPowersOfTen[kMaxDigits] = {1,         10,         100,         1000,
                                           10000,     100000,     1000000,     10000000,
                                           100000000, 1000000000, 10000000000, 100000000000};

} // namespace

void OwnLineOrder::BuildMatcher(const BtsLineTexts& texts) {
    // Each id's digits, most significant first, and its key in the order of the decimal texts
    // ("12" < "120" < "13"): the digits left-aligned to twelve places, then the length.
    const size_t count = texts.Size();
    digits.resize(count * kMaxDigits);
    sortedIds.resize(count);
    for (size_t line = 0; line < count; ++line) {
        const uint64_t id = texts.Cell(line).cell;
        char reversed[kMaxDigits];
        int length = 0;
        uint64_t rest = id;
        do {
            reversed[length++] = static_cast<char>(rest % 10);
            rest /= 10;
        } while (rest);
        char* own = &digits[line * kMaxDigits];
        for (int i = 0; i < length; ++i) {
            own[i] = reversed[length - 1 - i];
        }
        sortedIds[line] = {id * kPowersOfTen[kMaxDigits - length] << 4 | uint64_t(length),
                           static_cast<uint32_t>(line)};
    }
    std::sort(sortedIds.begin(), sortedIds.end());

    // The trie, numbered breadth first: the few shallow nodes that a scan visits nearly all
    // the time lie together, a node's failure link points to a node numbered before it, and
    // the children of a node follow each other in digit order. In text order an id shares
    // its path with the id before it as far as their common prefix goes and adds a node at
    // each depth past it; counting those per depth tells where each depth's nodes start.
    int newAtDepth[kMaxDigits + 2] = {}; // differences from the depth before
    commonPrefix.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const int length = static_cast<int>(sortedIds[i].first & 15);
        int common = 0;
        if (i > 0) {
            const char* own = &digits[sortedIds[i].second * kMaxDigits];
            const char* before = &digits[sortedIds[i - 1].second * kMaxDigits];
            const int shorter = std::min(length, static_cast<int>(sortedIds[i - 1].first & 15));
            while (common < shorter && before[common] == own[common]) {
                ++common;
            }
        }
        commonPrefix[i] = static_cast<uint8_t>(common);
        ++newAtDepth[common + 1];
        --newAtDepth[length + 1];
    }
    int nextAtDepth[kMaxDigits + 2];
    nextAtDepth[1] = 1; // after the root
    int nodesAtDepth = 0;
    for (int depth = 1; depth <= kMaxDigits; ++depth) {
        nodesAtDepth += newAtDepth[depth];
        nextAtDepth[depth + 1] = nextAtDepth[depth] + nodesAtDepth;
    }
    const size_t nodeCount = nextAtDepth[kMaxDigits + 1];
    nodes.resize(nodeCount);
    parent.resize(nodeCount);
    parentDigit.resize(nodeCount);
    nodes[0].match = kNone;
    nodes[0].report = kNone;
    parent[0] = 0;
    idNode.resize(count);
    int32_t path[kMaxDigits + 1] = {};
    for (size_t i = 0; i < count; ++i) {
        const char* own = &digits[sortedIds[i].second * kMaxDigits];
        const int length = static_cast<int>(sortedIds[i].first & 15);
        for (int depth = commonPrefix[i] + 1; depth <= length; ++depth) {
            const int32_t node = nextAtDepth[depth]++;
            parent[node] = path[depth - 1];
            parentDigit[node] = static_cast<uint8_t>(own[depth - 1]);
            nodes[node].match = kNone;
            path[depth] = node;
        }
        nodes[path[length]].match = static_cast<int32_t>(sortedIds[i].second);
        idNode[sortedIds[i].second] = path[length];
    }

    // In node order, each node's failure link (the longest proper suffix that is a node) comes
    // from its parent's. A node's transitions are its failure link's, then its own children.
    failure.assign(nodes.size(), 0);
    prefixHolds.assign(nodes.size(), 0);
    std::fill(nodes[0].next, nodes[0].next + 10, 0);
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
            prefixHolds[node] = up != 0 && (prefixHolds[up] || nodes[up].report != kNone);
        }
        for (; child < nodes.size() && parent[child] == static_cast<int32_t>(node); ++child) {
            own.next[parentDigit[child]] = static_cast<int32_t>(child);
        }
    }
}

template <class Hit> void OwnLineOrder::ForEachId(const char* text, size_t length, Hit hit) const {
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
            hit(static_cast<uint32_t>(nodes[found].match), at + 1);
        }
    }
}

template <class Hit>
void OwnLineOrder::ForEachHit(const BtsLineTexts& texts, uint32_t line, Hit hit) const {
    for (int p = 0; p < BtsLineTexts::PieceCount; ++p) {
        const BtsLineTexts::Piece piece = static_cast<BtsLineTexts::Piece>(p);
        ForEachId(texts.Text(line, piece), texts.Length(line, piece),
                  [&](uint32_t source, size_t end) {
                      if (source != line) {
                          hit(source, piece, end);
                      }
                  });
    }
}

void OwnLineOrder::BuildGraph(const BtsLineTexts& texts) {
    const uint32_t count = static_cast<uint32_t>(texts.Size());
    waitingIds.assign(count, 0);
    keptWaitingIds.assign(count, 0);
    firstEdge.assign(count + 1, 0);
    // Every line has the same area text: its ids are found once.
    areaHits.clear();
    ForEachId(texts.Text(0, BtsLineTexts::Area), texts.Length(0, BtsLineTexts::Area),
              [&](uint32_t source, size_t) { areaHits.push_back(source); });
    // Hits as (source, target, kept), then grouped by source.
    hits.clear();
    for (uint32_t line = 0; line < count; ++line) {
        auto add = [&](uint32_t source, BtsLineTexts::Piece piece, size_t end) {
            const bool kept = end <= texts.KeptLength(line, piece);
            hits.push_back(uint64_t(source) << 33 | uint64_t(line) << 1 | (kept ? 1 : 0));
            ++waitingIds[line];
            keptWaitingIds[line] += kept ? 1 : 0;
            ++firstEdge[source + 1];
        };
        for (int p = 0; p < BtsLineTexts::PieceCount; ++p) {
            const BtsLineTexts::Piece piece = static_cast<BtsLineTexts::Piece>(p);
            if (piece == BtsLineTexts::Area) {
                // The area always stays whole: where the id ends in it does not matter.
                for (uint32_t source : areaHits) {
                    if (source != line) {
                        add(source, piece, 0);
                    }
                }
            } else if (piece != BtsLineTexts::Id || IdHoldsOthers(line)) {
                ForEachId(texts.Text(line, piece), texts.Length(line, piece),
                          [&](uint32_t source, size_t end) {
                              if (source != line) {
                                  add(source, piece, end);
                              }
                          });
            }
        }
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

bool OwnLineOrder::IdHoldsOthers(uint32_t line) const {
    const int32_t node = idNode[line];
    return prefixHolds[node] || nodes[node].match != static_cast<int32_t>(line) ||
           nodes[failure[node]].report != kNone;
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
