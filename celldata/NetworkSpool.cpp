#include "NetworkSpool.h"

#include <algorithm>

namespace {

// What a run reads back at once: up to 1 MB, less when many runs share the budget.
const size_t kRunBufferBytes = 1 << 20;
const size_t kLeastRunBufferBytes = 16 << 10;
// WriteFile and ReadFile take at most 4 GB at once; keep well below.
const size_t kChunkBytes = 64 << 20;

} // namespace

NetworkSpool::NetworkSpool(size_t budgetBytes, const std::wstring& tempFolder)
    : budget(budgetBytes), tempFolder(tempFolder) {
    cells.reserve(Capacity());
}

NetworkSpool::~NetworkSpool() {
    for (Run& run : runs) {
        CloseHandle(run.file);
    }
}

size_t NetworkSpool::Capacity() const {
    return std::max<size_t>((budget > room ? budget - room : 0) / sizeof(CellRecord), 1);
}

void NetworkSpool::LeaveRoom(size_t bytes) {
    room = bytes;
}

bool NetworkSpool::Add(const CellRecord* added, size_t count) {
    while (count > 0) {
        if (cells.size() >= Capacity()) {
            // Each round takes at least half the capacity in new cells: the sorting stays
            // a few times that of the lines, however often they repeat.
            Compact();
            if (cells.size() > Capacity() / 2 && !Spill()) {
                return false;
            }
        }
        const size_t taken = std::min(count, Capacity() - cells.size());
        cells.insert(cells.end(), added, added + taken);
        added += taken;
        count -= taken;
    }
    return true;
}

void NetworkSpool::Compact() {
    SortCells(cells);
    cells.resize(MergeRepeatedLines(cells.data(), cells.size()));
}

bool NetworkSpool::Spill() {
    wchar_t path[MAX_PATH];
    HANDLE file = INVALID_HANDLE_VALUE;
    if (GetTempFileNameW(tempFolder.c_str(), L"kce", 0, path)) {
        file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot create a temporary file in the temporary folder";
        return false;
    }
    runs.push_back({file, std::vector<CellRecord>(), 0});
    const char* bytes = reinterpret_cast<const char*>(cells.data());
    size_t left = cells.size() * sizeof(CellRecord);
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min(left, kChunkBytes));
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written != chunk) {
            error = "cannot write a temporary file (is the disk full?)";
            return false;
        }
        bytes += chunk;
        left -= chunk;
    }
    cells.clear();
    // The room others take has grown: memory held for more cells than fit is given back.
    if (cells.capacity() > Capacity()) {
        std::vector<CellRecord>().swap(cells);
        cells.reserve(Capacity());
    }
    return true;
}

bool NetworkSpool::Refill(Run& run) {
    run.buffer.resize(runBufferCells);
    DWORD read = 0;
    if (!ReadFile(run.file, run.buffer.data(), DWORD(runBufferCells * sizeof(CellRecord)), &read,
                  nullptr) ||
        read % sizeof(CellRecord) != 0) {
        error = "cannot read back a temporary file";
        return false;
    }
    run.buffer.resize(read / sizeof(CellRecord));
    run.next = 0;
    return true;
}

bool NetworkSpool::ForEachNetwork(
    const std::function<bool(CellRecord* cells, size_t count)>& visit) {
    if (runs.empty()) {
        Compact();
        for (size_t begin = 0; begin < cells.size();) {
            size_t end = begin + 1;
            while (end < cells.size() && NetworkKey(cells[end]) == NetworkKey(cells[begin])) {
                ++end;
            }
            if (!visit(cells.data() + begin, end - begin)) {
                return false;
            }
            begin = end;
        }
        return true;
    }
    if (!cells.empty()) {
        Compact();
        if (!Spill()) {
            return false;
        }
    }
    std::vector<CellRecord>().swap(cells);
    return MergeRuns(visit);
}

bool NetworkSpool::MergeRuns(const std::function<bool(CellRecord* cells, size_t count)>& visit) {
    runBufferCells = std::clamp(budget / runs.size(), kLeastRunBufferBytes, kRunBufferBytes) /
                     sizeof(CellRecord);
    // The runs with cells left, the one whose next cell comes first at the top.
    std::vector<size_t> heads;
    for (size_t i = 0; i < runs.size(); ++i) {
        LARGE_INTEGER start = {};
        if (!SetFilePointerEx(runs[i].file, start, nullptr, FILE_BEGIN) || !Refill(runs[i])) {
            error = "cannot read back a temporary file";
            return false;
        }
        if (!runs[i].buffer.empty()) {
            heads.push_back(i);
        }
    }
    const auto later = [this](size_t a, size_t b) {
        return CellBefore(runs[b].buffer[runs[b].next], runs[a].buffer[runs[a].next]);
    };
    std::make_heap(heads.begin(), heads.end(), later);
    // Each run is sorted with one line of each cell: the runs' cells merged in order are a
    // network's cells sorted, and a cell's lines from several runs meet under one key.
    std::vector<CellRecord> network;
    while (!heads.empty()) {
        const uint32_t key = NetworkKey(runs[heads.front()].buffer[runs[heads.front()].next]);
        network.clear();
        size_t keyStart = 0; // the network's cells of the last key: [keyStart, end)
        while (!heads.empty()) {
            Run& run = runs[heads.front()];
            const CellRecord cell = run.buffer[run.next];
            if (NetworkKey(cell) != key) {
                break;
            }
            std::pop_heap(heads.begin(), heads.end(), later);
            if (++run.next == run.buffer.size() && !Refill(run)) {
                return false;
            }
            if (run.next < run.buffer.size()) {
                std::push_heap(heads.begin(), heads.end(), later);
            } else {
                heads.pop_back();
            }
            if (network.empty() || !SameKey(network[keyStart], cell)) {
                keyStart = network.size();
            } else if (std::any_of(
                           network.begin() + keyStart, network.end(),
                           [&cell](const CellRecord& kept) { return kept.radio == cell.radio; })) {
                continue;
            }
            network.push_back(cell);
        }
        if (!visit(network.data(), network.size())) {
            return false;
        }
    }
    return true;
}
