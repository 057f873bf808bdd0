#include "BtsDatabaseWriter.h"

size_t BtsDatabaseWriter::AppendArea(const CellRecord* cells, size_t count, std::string& out,
                                     std::vector<UnreachableCell>& unreachable) {
    if (count == 0) {
        return 0;
    }
    size_t areaEnd = 1;
    while (areaEnd < count && cells[areaEnd].area == cells[0].area) {
        ++areaEnd;
    }
    texts.Build(cells, areaEnd, districts);
    shadowed.clear();
    ordering.Arrange(texts, order, shadowed);
    texts.AppendLines(order, out);
    for (const OwnLineOrder::Shadowed& lost : shadowed) {
        unreachable.push_back(
            {cells[lost.line], cells[lost.foundLine], BtsLineTexts::PieceName(lost.piece)});
    }
    return areaEnd;
}

void BtsDatabaseWriter::AppendNetwork(const CellRecord* cells, size_t count, std::string& out,
                                      std::vector<UnreachableCell>& unreachable) {
    for (size_t done = 0; done < count;) {
        done += AppendArea(cells + done, count - done, out, unreachable);
    }
}
