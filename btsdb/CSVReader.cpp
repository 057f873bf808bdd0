#include "CSVReader.h"

#include "MappedFileView.h"

#include <cstdint>
#include <cstring>

const wchar_t kBtsNotAvailable[] = L"N/A";
const wchar_t kBtsNotFound[] = L"Data nenalezena";

namespace {

const size_t kKeptFields = 10;
const size_t kLacField = 3;

// The bytes still to be searched. end moves back to a NUL byte once one is met: the text
// ends there.
struct SearchText {
    const char* begin;
    const char* end;
};

const uint64_t kLowBits = 0x0101010101010101ull;
const uint64_t kHighBits = 0x8080808080808080ull;

uint64_t Load8(const char* p) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// High bit set in every byte of value that is zero; a byte above a zero byte may be marked
// too, so callers confirm each mark. No zero byte goes unmarked.
uint64_t ZeroByteMarks(uint64_t value) {
    return (value - kLowBits) & ~value & kHighBits;
}

// Blocks are loaded little-endian (x86, ARM): byte k of a block is the k-th byte in memory.
bool IsMarked(uint64_t marks, size_t byteIndex) {
    return (marks >> (byteIndex * 8 + 7)) & 1;
}

// First occurrence of needle (no NUL in it) at or after from, or null. Scans eight bytes at
// a time: a position is a candidate when both its byte and the byte n - 1 later equal the
// needle's first and last bytes; only candidates are compared in full. This keeps the
// lookup on the user-interface thread close to the speed of reading the file.
const char* FindNeedle(SearchText& text, const char* from, const std::string& needle) {
    const size_t n = needle.size();
    const uint64_t first = kLowBits * static_cast<unsigned char>(needle.front());
    const uint64_t last = kLowBits * static_cast<unsigned char>(needle.back());
    const char* p = from;
    while (text.end - p >= static_cast<ptrdiff_t>(n + 7)) {
        const uint64_t block = Load8(p);
        const uint64_t candidates =
            ZeroByteMarks(block ^ first) & ZeroByteMarks(Load8(p + n - 1) ^ last);
        const uint64_t nulMarks = ZeroByteMarks(block);
        if (nulMarks) {
            for (size_t k = 0; k < 8; ++k) {
                if (p[k] == '\0') {
                    text.end = p + k;
                    break;
                }
            }
        }
        if (candidates) {
            for (size_t k = 0; k < 8; ++k) {
                if (IsMarked(candidates, k) && p + k + n <= text.end &&
                    std::memcmp(p + k, needle.data(), n) == 0) {
                    return p + k;
                }
            }
        }
        if (text.end < p + 8) {
            return nullptr;
        }
        p += 8;
    }
    for (; p < text.end; ++p) {
        if (*p == '\0') {
            text.end = p;
            return nullptr;
        }
        if (static_cast<size_t>(text.end - p) >= n && std::memcmp(p, needle.data(), n) == 0) {
            return p;
        }
    }
    return nullptr;
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

std::wstring FromAnsi(const char* bytes, size_t length) {
    if (length == 0) {
        return std::wstring();
    }
    const int count = static_cast<int>(length);
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, bytes, count, nullptr, 0);
    if (wideLength <= 0) {
        return std::wstring();
    }
    std::wstring wide(wideLength, L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes, count, &wide[0], wideLength);
    return wide;
}

// False when the text has a character the code page cannot hold: it cannot be in the file.
bool ToAnsi(const std::wstring& wide, std::string& bytes) {
    if (wide.empty()) {
        bytes.clear();
        return true;
    }
    BOOL usedDefault = FALSE;
    const int count = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), count, nullptr, 0, nullptr, &usedDefault);
    if (length <= 0 || usedDefault) {
        return false;
    }
    bytes.assign(length, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), count, &bytes[0], length, nullptr, nullptr);
    return true;
}

struct ByteField {
    const char* begin;
    size_t length;
};

} // namespace

CSVReader::CSVReader(const std::wstring& directory) : directory(directory) {}

CSVReader::~CSVReader() = default;

void CSVReader::SetDirectory(const std::wstring& newDirectory) {
    directory = newDirectory;
}

BtsRecord CSVReader::GetExtendedInformation(const std::wstring& lac, const std::wstring& cellId,
                                            const std::wstring& networkId) {
    BtsRecord record;
    std::vector<std::wstring> fields;
    {
        MappedFileView database(directory + networkId + L".csv");
        if (!database.IsOpen()) {
            record[kBtsStatusKey] = kBtsNotAvailable;
            return record;
        }
        if (!FindCellLine(database.GetData(), database.GetSize(), lac, cellId, fields)) {
            record[kBtsStatusKey] = kBtsNotFound;
            return record;
        }
    }
    fields.resize(kKeptFields);
    for (size_t i = 0; i < kKeptFields; ++i) {
        const int field = static_cast<int>(i) + 1;
        const int key = field == kBtsStatusKey ? kBtsStatusKey + 1 : field;
        record[key] = fields[i].empty() ? std::wstring(kBtsNotAvailable) : fields[i];
    }
    return record;
}

bool CSVReader::FindCellLine(const char* bytes, size_t size, const std::wstring& lac,
                             const std::wstring& cellId, std::vector<std::wstring>& fields) {
    std::string needle;
    if (cellId.empty() || cellId.find(L'\0') != std::wstring::npos || !ToAnsi(cellId, needle)) {
        return false;
    }
    SearchText text{bytes, bytes + size};
    const char* position = text.begin;
    for (;;) {
        const char* hit = FindNeedle(text, position, needle);
        if (!hit) {
            return false;
        }
        // A line ends at CR or LF, so files with either line end read line by line.
        const char* lineEnd = hit;
        while (lineEnd < text.end && !IsLineEnd(*lineEnd) && *lineEnd != '\0') {
            ++lineEnd;
        }
        if (lineEnd < text.end && *lineEnd == '\0') {
            text.end = lineEnd;
        }
        const char* lineStart = hit;
        while (lineStart > text.begin && !IsLineEnd(lineStart[-1])) {
            --lineStart;
        }

        ByteField lineFields[kKeptFields];
        size_t fieldCount = 0;
        const char* fieldStart = lineStart;
        for (const char* p = lineStart;; ++p) {
            if (p == lineEnd || *p == ';') {
                lineFields[fieldCount++] = {fieldStart, static_cast<size_t>(p - fieldStart)};
                fieldStart = p + 1;
                if (p == lineEnd || fieldCount == kKeptFields) {
                    break;
                }
            }
        }
        if (fieldCount < kLacField) {
            return false;
        }
        // No ANSI code page takes more than four bytes for one UTF-16 unit: a longer field
        // cannot equal the LAC and is not converted.
        const ByteField& lacField = lineFields[kLacField - 1];
        if (lacField.length <= 4 * lac.size() && FromAnsi(lacField.begin, lacField.length) == lac) {
            fields.clear();
            for (size_t i = 0; i < fieldCount; ++i) {
                fields.push_back(FromAnsi(lineFields[i].begin, lineFields[i].length));
            }
            return true;
        }
        if (lineEnd == text.end) {
            return false;
        }
        position = lineEnd + 1;
    }
}
