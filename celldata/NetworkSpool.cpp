#include "NetworkSpool.h"

#include <algorithm>

namespace {

const size_t kRunBufferCells = (1 << 20) / sizeof(CellRecord);
// WriteFile and ReadFile take at most 4 GB at once; keep well below.
const size_t kChunkBytes = 64 << 20;

} // namespace

NetworkSpool::NetworkSpool(size_t budgetBytes, const std::wstring& tempFolder)
    : capacity(std::max<size_t>(budgetBytes / sizeof(CellRecord), 1)), tempFolder(tempFolder) {
    cells.reserve(capacity);
}

NetworkSpool::~NetworkSpool() {
    for (Run& run : runs) {
        CloseHandle(run.file);
    }
}

bool NetworkSpool::Add(const CellRecord* added, size_t count) {
    while (count > 0) {
        if (cells.size() == capacity && !Spill()) {
            return false;
        }
        const size_t taken = std::min(count, capacity - cells.size());
        cells.insert(cells.end(), added, added + taken);
        added += taken;
        count -= taken;
    }
    return true;
}

bool NetworkSpool::Spill() {
    SortCells(cells);
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
    return true;
}

bool NetworkSpool::Refill(Run& run) {
    run.buffer.resize(kRunBufferCells);
    DWORD read = 0;
    if (!ReadFile(run.file, run.buffer.data(), kRunBufferCells * sizeof(CellRecord), &read,
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
        SortCells(cells);
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
    if (!cells.empty() && !Spill()) {
        return false;
    }
    std::vector<CellRecord>().swap(cells);
    for (Run& run : runs) {
        LARGE_INTEGER start = {};
        if (!SetFilePointerEx(run.file, start, nullptr, FILE_BEGIN) || !Refill(run)) {
            error = "cannot read back a temporary file";
            return false;
        }
    }
    // Each run is sorted: a network's cells are the heads of the runs.
    std::vector<CellRecord> network;
    for (;;) {
        uint32_t key = ~0u;
        for (const Run& run : runs) {
            if (run.next < run.buffer.size()) {
                key = std::min(key, NetworkKey(run.buffer[run.next]));
            }
        }
        if (key == ~0u) {
            return true;
        }
        network.clear();
        for (Run& run : runs) {
            for (;;) {
                if (run.next == run.buffer.size() && !Refill(run)) {
                    return false;
                }
                if (run.next == run.buffer.size() || NetworkKey(run.buffer[run.next]) != key) {
                    break;
                }
                network.push_back(run.buffer[run.next++]);
            }
        }
        SortCells(network);
        if (!visit(network.data(), network.size())) {
            return false;
        }
    }
}
