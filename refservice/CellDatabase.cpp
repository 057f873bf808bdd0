#include "CellDatabase.h"

#include <algorithm>

#include "BtsDatabaseWriter.h"

namespace {

uint64_t Hash(uint32_t network, uint32_t area, uint64_t cell) {
    uint64_t h = (uint64_t(network) << 32 | area) * 0x9E3779B97F4A7C15ull;
    h ^= cell + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
    return h * 0xBF58476D1CE4E5B9ull;
}

bool SameCell(const CellRecord& record, uint32_t network, uint32_t area, uint64_t cell) {
    return NetworkKey(record) == network && record.area == area && record.cell == cell;
}

} // namespace

bool CellDatabase::Load(const std::wstring& path) {
    return Load(std::vector<std::wstring>{path});
}

bool CellDatabase::Load(const std::vector<std::wstring>& paths) {
    const size_t before = cells.size();
    bool read = true;
    for (size_t i = 0; read && i < paths.size(); ++i) {
        read = reader.Open(paths[i]);
        if (read) {
            Reserve(paths[i]);
        }
        while (read && reader.NextBatch(cells)) {
        }
        read = read && reader.Error().empty();
    }
    if (cells.size() != before) {
        Index();
    }
    return read;
}

void CellDatabase::Reserve(const std::wstring& path) {
    // Room for the file's cells at once: growing by doubling within it would copy them all
    // again. An export line has some 60 to 80 bytes, gzip makes it four times smaller; room
    // never used costs no memory. Over many files the room grows by half at least each time.
    WIN32_FILE_ATTRIBUTE_DATA file;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &file)) {
        const uint64_t size = uint64_t(file.nFileSizeHigh) << 32 | file.nFileSizeLow;
        const size_t needed = cells.size() + size / (reader.Compressed() ? 12 : 48);
        if (needed > cells.capacity()) {
            cells.reserve(std::max(needed, cells.capacity() + cells.capacity() / 2));
        }
    }
}

size_t CellDatabase::AddCsv(const std::string& text) {
    reader.OpenText(text);
    return Take();
}

size_t CellDatabase::Take() {
    const size_t before = cells.size();
    while (reader.NextBatch(cells)) {
    }
    const size_t taken = cells.size() - before;
    Index();
    return taken;
}

void CellDatabase::Index() {
    {
        std::lock_guard<std::mutex> guard(writtenLock);
        written.clear();
    }
    SortCells(cells);
    cells.resize(MergeDuplicates(cells.data(), cells.size(), nullptr));
    // At most three quarters full, so that a lookup probes a slot or two.
    size_t capacity = 16;
    while (capacity * 3 < cells.size() * 4) {
        capacity *= 2;
    }
    slots.assign(capacity, 0);
    for (size_t i = 0; i < cells.size(); ++i) {
        const CellRecord& cell = cells[i];
        uint64_t slot = Hash(NetworkKey(cell), cell.area, cell.cell) & (capacity - 1);
        while (slots[slot] != 0) {
            slot = (slot + 1) & (capacity - 1);
        }
        slots[slot] = static_cast<uint32_t>(i + 1);
    }
}

uint32_t CellDatabase::Slot(uint32_t network, uint32_t area, uint64_t cell) const {
    const uint64_t mask = slots.size() - 1;
    for (uint64_t slot = Hash(network, area, cell) & mask; slots[slot] != 0;
         slot = (slot + 1) & mask) {
        if (SameCell(cells[slots[slot] - 1], network, area, cell)) {
            return slots[slot];
        }
    }
    return 0;
}

bool CellDatabase::Find(const std::string& networkCode, uint64_t area, uint64_t cell,
                        Position& position) const {
    if (networkCode.size() < 5 || networkCode.size() > 6 || area > kMaxArea || slots.empty()) {
        return false;
    }
    // mcc * 1000 + network code, as NetworkKey: the first three digits, then the rest.
    uint32_t mcc = 0, net = 0;
    for (size_t i = 0; i < networkCode.size(); ++i) {
        const unsigned digit = static_cast<unsigned char>(networkCode[i]) - '0';
        if (digit > 9) {
            return false;
        }
        uint32_t& part = i < 3 ? mcc : net;
        part = part * 10 + digit;
    }
    const uint32_t network = mcc * 1000 + net;
    const uint32_t found = Slot(network, static_cast<uint32_t>(area), cell);
    if (found == 0) {
        return false;
    }
    const CellRecord& record = cells[found - 1];
    position.lat = CoordinateText(record.lat, record.latDecimals);
    position.lon = CoordinateText(record.lon, record.lonDecimals);
    return true;
}

bool CellDatabase::BtsDatabase(const std::string& networkId, std::string& bytes) const {
    std::shared_ptr<const std::string> database = BtsDatabase(networkId);
    if (!database) {
        return false;
    }
    bytes = *database;
    return true;
}

std::shared_ptr<const std::string> CellDatabase::BtsDatabase(const std::string& networkId) const {
    uint16_t mcc, net;
    if (!ParseNetworkId(networkId, mcc, net)) {
        return nullptr;
    }
    const uint32_t network = uint32_t(mcc) * 1000 + net;
    auto byNetwork = [](const CellRecord& cell, uint32_t key) { return NetworkKey(cell) < key; };
    auto begin = std::lower_bound(cells.begin(), cells.end(), network, byNetwork);
    auto end = std::lower_bound(begin, cells.end(), network + 1, byNetwork);
    if (begin == end) {
        return nullptr;
    }
    std::shared_ptr<Written> entry;
    {
        std::lock_guard<std::mutex> guard(writtenLock);
        std::shared_ptr<Written>& slot = written[network];
        if (!slot) {
            slot = std::make_shared<Written>();
        }
        entry = slot;
    }
    // Another network's database may be written meanwhile; a second request for this one
    // waits for the first's.
    std::lock_guard<std::mutex> guard(entry->writing);
    if (!entry->bytes) {
        auto bytes = std::make_shared<std::string>();
        BtsDatabaseWriter writer(reader.Districts());
        std::vector<UnreachableCell> unreachable;
        writer.AppendNetwork(&*begin, end - begin, *bytes, unreachable);
        entry->bytes = std::move(bytes);
    }
    return entry->bytes;
}

size_t CellDatabase::Networks() const {
    size_t count = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        count += i == 0 || NetworkKey(cells[i]) != NetworkKey(cells[i - 1]);
    }
    return count;
}
