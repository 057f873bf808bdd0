#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "BtsLineTexts.h"

// Puts one area's database lines in an order in which the BTS reader finds each cell's own
// line. The reader takes the first line of the area that holds the cell id's text anywhere,
// so line L must come before every other line whose text holds L's id: in the id itself
// ("12" in "1234"), in the area, a coordinate, a date. These are the edges of a graph whose
// topological order is the answer. Lines are placed while one exists whose text holds no id
// of a line still waiting; when none does (a cycle), the line whose kept texts hold the fewest
// waiting ids has the pieces that hold them dropped or cut, and is placed; the waiting cells
// whose ids it still holds (in its id, its area or its first decimals) cannot be found any
// more and go last.
class OwnLineOrder {
public:
    struct Shadowed {
        uint32_t line;             // the cell the reader will not find
        uint32_t foundLine;        // the line it finds instead
        BtsLineTexts::Piece piece; // where that line holds the id
    };

    // order: every line once; shadowed: the lines not found, in the order they go last.
    void Arrange(BtsLineTexts& texts, std::vector<uint32_t>& order,
                 std::vector<Shadowed>& shadowed);

private:
    enum State : uint8_t { Waiting, Placed, Lost };

    void BuildMatcher(const BtsLineTexts& texts);
    // hit(source, end) for every id in the text, end where the id ends.
    template <class Hit> void ForEachId(const char* text, size_t length, Hit hit) const;
    // hit(source, piece, end) for every id of another line in the line's texts.
    template <class Hit> void ForEachHit(const BtsLineTexts& texts, uint32_t line, Hit hit) const;
    void BuildGraph(const BtsLineTexts& texts);
    // Whether the line's id holds the id of another line. Most do not, and their scans would
    // walk the deep, seldom visited part of the trie.
    bool IdHoldsOthers(uint32_t line) const;
    void Release(uint32_t line);
    uint32_t PickLeastHarm();
    void PlaceBreakingCycle(BtsLineTexts& texts, uint32_t line, std::vector<Shadowed>& shadowed);

    // The area's ids as an Aho-Corasick automaton over digits: one step per character finds
    // every id that ends there. match: the line whose id the node spells, or kNone; report:
    // the node itself or the nearest node along the failure links that spells an id.
    struct Node {
        int32_t next[10];
        int32_t match;
        int32_t report;
    };
    std::vector<Node> nodes;
    std::vector<int32_t> failure;
    // Each line's id's node; per node, whether an id ends at a node on the way to it.
    std::vector<int32_t> idNode;
    std::vector<uint8_t> prefixHolds;
    // While the trie is built: each line's id in digits; the ids in text order (key, line)
    // with the prefix each shares with the one before; each node's parent and digit.
    std::vector<char> digits;
    std::vector<std::pair<uint64_t, uint32_t>> sortedIds;
    std::vector<uint8_t> commonPrefix;
    std::vector<int32_t> parent;
    std::vector<uint8_t> parentDigit;

    // Edges source -> target (source must come first), grouped by source. The ids in the
    // area's text are those of every line.
    std::vector<uint32_t> areaHits;
    std::vector<uint64_t> hits;
    std::vector<uint32_t> nextEdge;
    std::vector<uint32_t> firstEdge;
    std::vector<uint32_t> edgeTarget;
    std::vector<uint8_t> edgeKept; // the hit lies in text no shortening removes

    // Per line: waiting sources whose ids its text holds, in all texts and in kept texts.
    std::vector<uint32_t> waitingIds;
    std::vector<uint32_t> keptWaitingIds;
    std::vector<State> state;
    std::vector<uint32_t> ready;
    std::vector<uint8_t> changed;
    std::vector<uint32_t> changedLines;
    std::vector<uint64_t> harmHeap;
};
