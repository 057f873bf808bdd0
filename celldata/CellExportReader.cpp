#include "CellExportReader.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

const size_t kTextCapacity = 4 << 20;
const size_t kRawCapacity = 1 << 20;
const int kMaxFields = 64;
// Less text than this is parsed on one thread.
const ptrdiff_t kParallelBytes = 256 << 10;
// What a district costs besides its texts: the strings, the hash table's node and bucket,
// the heap's headers.
const size_t kDistrictEntryBytes = 128;
// Spreadsheet tools start UTF-8 text with a byte-order mark.
const char kUtf8Bom[] = "\xEF\xBB\xBF";

// Column positions of an export without a header line.
const int kExportColumns[CellExportReader::ColumnCount] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 12, -1, -1};

// Names a header may give each column (lower case).
const char* const kColumnNames[CellExportReader::ColumnCount][7] = {
    {"radio"},
    {"mcc"},
    {"net", "mnc"},
    {"area", "lac", "tac"},
    {"cell", "cid", "cellid"},
    {"lon", "longitude"},
    {"lat", "latitude"},
    {"range"},
    {"samples"},
    {"updated"},
    {"channel", "arfcn", "uarfcn", "earfcn", "nrarfcn", "bcch"},
    {"district", "okres"},
};
const int kRequiredColumns = CellExportReader::LatColumn + 1;

struct Field {
    const char* begin;
    const char* end;
    bool Empty() const { return begin == end; }
    bool Is(const char* word) const {
        const size_t length = std::strlen(word);
        return size_t(end - begin) == length && std::memcmp(begin, word, length) == 0;
    }
};

// A line has a dozen short fields, and a branch taken at each comma would be mispredicted
// nearly every time: eight bytes are searched at once. Under the XOR a comma becomes a zero
// byte, and only a zero byte keeps its top bit clear after adding 0x7F to its low bits. The
// last field (most - 1) takes the rest of the line.
int SplitFields(const char* begin, const char* end, Field* fields, int most) {
    const int last = most - 1;
    int count = 0;
    const char* fieldStart = begin;
    const char* p = begin;
    const uint64_t lows = 0x7F7F7F7F7F7F7F7Full;
    for (; end - p >= 8 && count < last; p += 8) {
        uint64_t block;
        std::memcpy(&block, p, 8);
        const uint64_t x = block ^ 0x2C2C2C2C2C2C2C2Cull;
        uint64_t commas = ~(((x & lows) + lows) | x) & ~lows;
        while (commas && count < last) {
            const char* at = p + (__builtin_ctzll(commas) >> 3);
            fields[count++] = {fieldStart, at};
            fieldStart = at + 1;
            commas &= commas - 1;
        }
    }
    for (; p < end && count < last; ++p) {
        if (*p == ',') {
            fields[count++] = {fieldStart, p};
            fieldStart = p + 1;
        }
    }
    fields[count++] = {fieldStart, end};
    return count;
}

// The first LF at or after p, or end; eight bytes at a time.
const char* FindLineEnd(const char* p, const char* end) {
    const uint64_t lows = 0x0101010101010101ull;
    const uint64_t highs = 0x8080808080808080ull;
    const uint64_t newlines = lows * '\n';
    while (end - p >= 8) {
        uint64_t block;
        std::memcpy(&block, p, 8);
        const uint64_t x = block ^ newlines;
        if ((x - lows) & ~x & highs) {
            break;
        }
        p += 8;
    }
    while (p < end && *p != '\n') {
        ++p;
    }
    return p;
}

bool ParseUnsigned(const Field& field, uint64_t limit, uint64_t& value) {
    // Every limit has fewer than 20 digits: a number of 20 digits is past it unless it starts
    // with a zero, and 19 digits cannot overflow.
    const ptrdiff_t length = field.end - field.begin;
    if (length == 0 || length > 20 || (length == 20 && *field.begin != '0')) {
        return false;
    }
    uint64_t number = 0;
    for (const char* p = field.begin; p < field.end; ++p) {
        const unsigned digit = static_cast<unsigned char>(*p) - '0';
        if (digit > 9) {
            return false;
        }
        number = number * 10 + digit;
    }
    if (number > limit) {
        return false;
    }
    value = number;
    return true;
}

// Decimal degrees, e.g. "-14.4212543"; decimals past the seventh are dropped.
bool ParseCoordinate(const Field& field, int32_t degreesLimit, int32_t& value, uint8_t& decimals) {
    const char* p = field.begin;
    bool negative = false;
    if (p < field.end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    const char* digits = p;
    int64_t whole = 0;
    while (p < field.end && *p >= '0' && *p <= '9' && p - digits < 4) {
        whole = whole * 10 + (*p++ - '0');
    }
    if (p == digits) {
        return false;
    }
    int64_t fraction = 0;
    int count = 0;
    if (p < field.end && *p == '.') {
        for (++p; p < field.end && *p >= '0' && *p <= '9'; ++p) {
            if (count < kMaxDecimals) {
                fraction = fraction * 10 + (*p - '0');
                ++count;
            }
        }
    }
    if (p != field.end) {
        return false;
    }
    for (int i = count; i < kMaxDecimals; ++i) {
        fraction *= 10;
    }
    const int64_t scaled = whole * 10000000 + fraction;
    if (scaled > int64_t(degreesLimit) * 10000000) {
        return false;
    }
    value = static_cast<int32_t>(negative ? -scaled : scaled);
    decimals = static_cast<uint8_t>(count);
    return true;
}

bool ParseRadio(const Field& field, Radio& radio) {
    if (field.Is("GSM")) {
        radio = Radio::Gsm;
    } else if (field.Is("UMTS")) {
        radio = Radio::Umts;
    } else if (field.Is("LTE")) {
        radio = Radio::Lte;
    } else if (field.Is("NR")) {
        radio = Radio::Nr;
    } else {
        return false;
    }
    return true;
}

std::string Narrow(const std::wstring& text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(length > 0 ? length - 1 : 0, '\0');
    if (length > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], length, nullptr, nullptr);
    }
    return out;
}

// Export text is UTF-8 (or plain ASCII); the databases are Windows-1250. A text that is not
// UTF-8 is taken as Windows-1250 already. ';' would split a database field and is replaced.
std::string DatabaseText(const char* begin, const char* end) {
    std::string out(begin, end);
    const int length = static_cast<int>(out.size());
    const int wideLength =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, begin, length, nullptr, 0);
    if (wideLength > 0) {
        std::wstring wide(wideLength, L'\0');
        MultiByteToWideChar(CP_UTF8, 0, begin, length, &wide[0], wideLength);
        const int narrowLength =
            WideCharToMultiByte(1250, 0, wide.data(), wideLength, nullptr, 0, "?", nullptr);
        out.assign(narrowLength, '\0');
        WideCharToMultiByte(1250, 0, wide.data(), wideLength, &out[0], narrowLength, "?", nullptr);
    }
    for (char& c : out) {
        if (c == ';') {
            c = ',';
        } else if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return out;
}

} // namespace

CellExportReader::CellExportReader() : districts(1) {
    std::memcpy(columns, kExportColumns, sizeof columns);
}

CellExportReader::~CellExportReader() {
    Close();
}

void CellExportReader::Close() {
    if (stream) {
        inflateEnd(stream);
        delete stream;
        stream = nullptr;
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
}

void CellExportReader::StartInput() {
    Close();
    error.clear();
    textBegin = textEnd = 0;
    firstLine = true;
    skippingLongLine = false;
    memberEnded = false;
    std::memcpy(columns, kExportColumns, sizeof columns);
    neededFields = kExportColumns[UpdatedColumn] + 1;
}

bool CellExportReader::Open(const std::wstring& path) {
    StartInput();
    name = Narrow(path);
    file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot open " + name;
        inputEnded = true;
        return false;
    }
    text.resize(kTextCapacity);
    ahead.resize(kTextCapacity);
    raw.resize(kRawCapacity);
    inputEnded = false;
    // The first bytes tell a gzip stream (1F 8B) from plain text.
    size_t got = 0;
    if (!FillFromFile(raw.data(), raw.size(), got)) {
        return false;
    }
    if (got >= 2 && static_cast<unsigned char>(raw[0]) == 0x1F &&
        static_cast<unsigned char>(raw[1]) == 0x8B) {
        stream = new z_stream();
        inflateInit2(stream, 16 + MAX_WBITS);
        stream->next_in = reinterpret_cast<Bytef*>(raw.data());
        stream->avail_in = static_cast<uInt>(got);
    } else {
        std::memcpy(text.data(), raw.data(), got);
        textEnd = got;
        inputEnded = got == 0;
    }
    return true;
}

void CellExportReader::OpenText(const std::string& content) {
    StartInput();
    name = "text";
    text.assign(content.begin(), content.end());
    textEnd = text.size();
    inputEnded = true;
}

bool CellExportReader::FillFromFile(char* to, size_t room, size_t& got) {
    DWORD read = 0;
    if (!ReadFile(file, to, static_cast<DWORD>(room), &read, nullptr)) {
        error = "cannot read " + name;
        inputEnded = true;
        return false;
    }
    got = read;
    return true;
}

bool CellExportReader::Inflate(char* to, size_t room, size_t& got) {
    got = 0;
    while (got == 0) {
        if (stream->avail_in == 0) {
            size_t read = 0;
            if (!FillFromFile(raw.data(), raw.size(), read)) {
                return false;
            }
            if (read == 0) {
                inputEnded = true;
                if (!memberEnded) {
                    error = name + ": the compressed data ends early";
                    return false;
                }
                return true;
            }
            stream->next_in = reinterpret_cast<Bytef*>(raw.data());
            stream->avail_in = static_cast<uInt>(read);
        }
        if (memberEnded) {
            // Concatenated gzip members read as one text; anything else after the end is
            // ignored, as gzip itself does.
            if (stream->next_in[0] != 0x1F) {
                inputEnded = true;
                return true;
            }
            inflateReset(stream);
            memberEnded = false;
        }
        stream->next_out = reinterpret_cast<Bytef*>(to);
        stream->avail_out = static_cast<uInt>(room);
        const int result = inflate(stream, Z_NO_FLUSH);
        got = room - stream->avail_out;
        if (result == Z_STREAM_END) {
            memberEnded = true;
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            error = name + ": damaged compressed data" +
                    (stream->msg ? std::string(" (") + stream->msg + ")" : std::string());
            inputEnded = true;
            return false;
        }
    }
    return true;
}

void CellExportReader::Read(char* to, size_t room, size_t& got) {
    got = 0;
    if (inputEnded) {
        return;
    }
    if (stream ? !Inflate(to, room, got) : !FillFromFile(to, room, got)) {
        got = 0;
    } else if (!stream && got == 0) {
        inputEnded = true;
    }
}

void CellExportReader::Fill() {
    if (inputEnded) {
        return;
    }
    if (textBegin > 0) {
        std::memmove(text.data(), text.data() + textBegin, textEnd - textBegin);
        textEnd -= textBegin;
        textBegin = 0;
    }
    size_t got = 0;
    Read(text.data() + textEnd, text.size() - textEnd, got);
    textEnd += got;
}

bool CellExportReader::Next(CellRecord& cell) {
    for (;;) {
        const char* begin = text.data() + textBegin;
        const char* end = text.data() + textEnd;
        const char* lineEnd = FindLineEnd(begin, end);
        if (lineEnd == end) {
            if (!inputEnded) {
                if (textBegin == 0 && textEnd == text.size()) {
                    // A line longer than the buffer is no export line: skip it whole,
                    // however many buffers it fills.
                    if (!skippingLongLine) {
                        ++counts.lines;
                        ++counts.malformed;
                        skippingLongLine = true;
                    }
                    textEnd = 0;
                }
                Fill();
                if (!error.empty()) {
                    return false;
                }
                continue;
            }
            if (begin == end) {
                Close();
                return false;
            }
            lineEnd = end;
        }
        textBegin = (lineEnd - text.data()) + (lineEnd < end ? 1 : 0);
        if (skippingLongLine) {
            skippingLongLine = false;
            continue;
        }
        switch (TakeLine(begin, lineEnd, cell)) {
        case Cell:
            return true;
        case Skipped:
            break;
        case Failed:
            inputEnded = true;
            Close();
            return false;
        }
    }
}

bool CellExportReader::NextBatch(std::vector<CellRecord>& cells) {
    if (!error.empty()) {
        return false;
    }
    // The first line may be a header, a long line is being skipped, districts are collected
    // into one table: those lines are taken one at a time.
    const char* begin = text.data() + textBegin;
    const char* last = text.data() + textEnd;
    while (last > begin && last[-1] != '\n') {
        --last;
    }
    if (firstLine || skippingLongLine || columns[DistrictColumn] >= 0 ||
        last - begin < kParallelBytes) {
        CellRecord cell;
        if (!Next(cell)) {
            return false;
        }
        cells.push_back(cell);
        return true;
    }
    if (!helper) {
        helper.reset(new WorkerThread());
    }
    // The buffer's whole lines are parsed while the helper thread reads the text that follows
    // into the other buffer, after room for the unfinished line at the end of this one. Plain
    // text reads fast: the helper parses the upper half of the lines too. Inflating takes
    // longer than parsing: this thread parses them all.
    const bool readAhead = !inputEnded;
    const size_t rest = text.data() + textEnd - last;
    const char* middle = stream ? last : FindLineEnd(begin + (last - begin) / 2, last) + 1;
    size_t got = 0;
    upper.clear();
    Counts upperCounts;
    helper->Start([&] {
        ParseLines(middle, last, upper, upperCounts);
        if (readAhead) {
            Read(ahead.data() + rest, ahead.size() - rest, got);
        }
    });
    ParseLines(begin, middle, cells, counts);
    helper->Wait();
    cells.insert(cells.end(), upper.begin(), upper.end());
    counts.lines += upperCounts.lines;
    counts.cells += upperCounts.cells;
    counts.malformed += upperCounts.malformed;
    counts.otherRadio += upperCounts.otherRadio;
    if (readAhead) {
        std::memcpy(ahead.data(), last, rest);
        text.swap(ahead);
        textBegin = 0;
        textEnd = rest + got;
    } else {
        textBegin = last - text.data();
    }
    return true;
}

void CellExportReader::ParseLines(const char* begin, const char* end,
                                  std::vector<CellRecord>& cells, Counts& lineCounts) {
    CellRecord cell;
    while (begin < end) {
        const char* lineEnd = FindLineEnd(begin, end);
        const char* textEnd = lineEnd > begin && lineEnd[-1] == '\r' ? lineEnd - 1 : lineEnd;
        ++lineCounts.lines;
        if (textEnd > begin && ParseLine(begin, textEnd, cell, lineCounts)) {
            ++lineCounts.cells;
            cells.push_back(cell);
        }
        begin = lineEnd + 1;
    }
}

CellExportReader::LineResult CellExportReader::TakeLine(const char* begin, const char* end,
                                                        CellRecord& cell) {
    if (firstLine && end - begin >= 3 && std::memcmp(begin, kUtf8Bom, 3) == 0) {
        begin += 3;
    }
    if (end > begin && end[-1] == '\r') {
        --end;
    }
    ++counts.lines;
    if (begin == end) {
        return Skipped;
    }
    if (firstLine) {
        firstLine = false;
        Field fields[kMaxFields];
        const int count = SplitFields(begin, end, fields, kMaxFields);
        for (int i = 0; i < count; ++i) {
            if (fields[i].end - fields[i].begin == 3 && _strnicmp(fields[i].begin, "mcc", 3) == 0) {
                return TakeHeader(begin, end) ? Skipped : Failed;
            }
        }
    }
    if (ParseLine(begin, end, cell, counts)) {
        ++counts.cells;
        return Cell;
    }
    return Skipped;
}

bool CellExportReader::TakeHeader(const char* begin, const char* end) {
    Field fields[kMaxFields];
    const int count = SplitFields(begin, end, fields, kMaxFields);
    neededFields = 0;
    for (int column = 0; column < ColumnCount; ++column) {
        columns[column] = -1;
        for (int i = 0; i < count && columns[column] < 0; ++i) {
            std::string lower(fields[i].begin, fields[i].end);
            for (char& c : lower) {
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            }
            for (const char* const* alias = kColumnNames[column]; *alias && columns[column] < 0;
                 ++alias) {
                if (lower == *alias) {
                    columns[column] = i;
                }
            }
        }
        if (columns[column] < 0 && column < kRequiredColumns) {
            error = name + ": the header line names no column \"" + kColumnNames[column][0] + "\"";
            return false;
        }
        if (columns[column] >= neededFields) {
            neededFields = columns[column] + 1;
        }
    }
    return true;
}

bool CellExportReader::ParseLine(const char* begin, const char* end, CellRecord& cell,
                                 Counts& lineCounts) {
    // One field more than needed takes the rest of the line.
    Field fields[kMaxFields + 1];
    const int count = SplitFields(begin, end, fields, neededFields + 1);
    auto field = [&](Column column) -> const Field* {
        const int at = columns[column];
        return at >= 0 && at < count ? &fields[at] : nullptr;
    };
    for (int column = 0; column < kRequiredColumns; ++column) {
        if (!field(Column(column))) {
            ++lineCounts.malformed;
            return false;
        }
    }
    if (!ParseRadio(*field(RadioColumn), cell.radio)) {
        ++(field(RadioColumn)->Is("CDMA") ? lineCounts.otherRadio : lineCounts.malformed);
        return false;
    }
    uint64_t mcc, net, area;
    bool ok = ParseUnsigned(*field(MccColumn), 999, mcc) &&
              ParseUnsigned(*field(NetColumn), 999, net) &&
              ParseUnsigned(*field(AreaColumn), kMaxArea, area) &&
              ParseUnsigned(*field(CellColumn), kMaxCellId, cell.cell) &&
              ParseCoordinate(*field(LatColumn), 90, cell.lat, cell.latDecimals) &&
              ParseCoordinate(*field(LonColumn), 180, cell.lon, cell.lonDecimals);
    // Optional numbers: an empty or missing field has no value, an unreadable one spoils the line.
    auto optional = [&](Column column, uint32_t& value) {
        const Field* f = field(column);
        uint64_t number = kNoValue;
        if (f && !f->Empty() && !ParseUnsigned(*f, kNoValue - 1, number)) {
            return false;
        }
        value = static_cast<uint32_t>(number);
        return true;
    };
    ok = ok && optional(RangeColumn, cell.range) && optional(SamplesColumn, cell.samples) &&
         optional(UpdatedColumn, cell.updated) && optional(ChannelColumn, cell.channel);
    if (!ok) {
        ++lineCounts.malformed;
        return false;
    }
    cell.mcc = static_cast<uint16_t>(mcc);
    cell.net = static_cast<uint16_t>(net);
    cell.area = static_cast<uint32_t>(area);
    const Field* district = field(DistrictColumn);
    cell.district =
        district && !district->Empty() ? DistrictIndex(district->begin, district->end) : 0;
    return true;
}

uint32_t CellExportReader::DistrictIndex(const char* begin, const char* end) {
    std::string key(begin, end);
    auto found = districtIndex.find(key);
    if (found != districtIndex.end()) {
        return found->second;
    }
    // The Windows-1250 text is no longer than the UTF-8 one.
    const size_t cost = kDistrictEntryBytes + 2 * key.size();
    if (districtBytes > districtLimit || cost > districtLimit - districtBytes) {
        ++counts.noDistrict;
        return 0;
    }
    districtBytes += cost;
    const uint32_t index = static_cast<uint32_t>(districts.size());
    districts.push_back(DatabaseText(begin, end));
    districtIndex.emplace(std::move(key), index);
    return index;
}
