#include "CellLogReader.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "CivilTime.h"
#include "DriveText.h"

namespace {

const wchar_t kErrorMark[] = L"ERROR:: ";
const size_t kErrorMarkLength = 8;
// A line this long holds error records glued together for hours of a failing radio; its start
// is counted and dropped. A cell line can only stand at a line's end, within its last
// kLineTail characters.
const size_t kLongLine = 65536;
const size_t kLineTail = 256;
// Longest lac, cell id, BCCH or network id text taken; a longer one is damage.
const size_t kMaxField = 12;
const size_t kReadBytes = 1 << 20;
const size_t kMaxDamagedLines = 5;

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool AllDigits(const wchar_t* text, size_t length) {
    return length > 0 && std::all_of(text, text + length, IsDigit);
}

int Number(const wchar_t* text, size_t length) {
    int value = 0;
    for (size_t i = 0; i < length; ++i) {
        value = value * 10 + (text[i] - L'0');
    }
    return value;
}

// A piece of the line being parsed.
struct Field {
    const wchar_t* text;
    size_t length;
};

// A radio value as the log writes it: its decimal text, "-1" when not reported.
bool IsValueText(const Field& field) {
    const size_t sign = field.length > 0 && field.text[0] == L'-';
    return AllDigits(field.text + sign, field.length - sign);
}

bool IsNetworkText(const Field& field) {
    return (field.length == 5 && std::wmemcmp(field.text, L"-----", 5) == 0) ||
           ((field.length == 5 || field.length == 6) && AllDigits(field.text, field.length));
}

// "dd.mm.yyyy" and "hh:mm:ss" to seconds; false for anything else.
bool ParseTime(const wchar_t* date, const Field& time, int64_t& seconds) {
    const wchar_t* t = time.text;
    if (!AllDigits(date, 2) || date[2] != L'.' || !AllDigits(date + 3, 2) || date[5] != L'.' ||
        !AllDigits(date + 6, 4) || time.length != 8 || !AllDigits(t, 2) || t[2] != L':' ||
        !AllDigits(t + 3, 2) || t[5] != L':' || !AllDigits(t + 6, 2)) {
        return false;
    }
    CivilTime civil;
    civil.day = Number(date, 2);
    civil.month = Number(date + 3, 2);
    civil.year = Number(date + 6, 4);
    civil.hour = Number(t, 2);
    civil.minute = Number(t + 3, 2);
    civil.second = Number(t + 6, 2);
    if (civil.year < 1601 || civil.month < 1 || civil.month > 12 || civil.day < 1 ||
        civil.day > DaysInMonth(civil.year, civil.month) || civil.hour > 23 || civil.minute > 59 ||
        civil.second > 59) {
        return false;
    }
    seconds = SecondsFromCivil(civil);
    return true;
}

void AssignAscii(std::string& to, const Field& field) {
    to.assign(field.text, field.text + field.length);
}

// The cell line at the end of text, "dd.mm.yyyy;hh:mm:ss;lac;cellId;bcch;networkId; " (the
// closing space may be missing); start is where it begins.
bool ParseCellLine(const std::wstring& text, CellLogLine& cell, size_t& start) {
    size_t p = text.size();
    if (p > 0 && text[p - 1] == L' ') {
        --p;
    }
    if (p == 0 || text[p - 1] != L';') {
        return false;
    }
    --p;
    // Right to left: network id, BCCH, cell id, LAC, time; each follows a ';'.
    Field fields[5];
    for (Field& field : fields) {
        size_t q = p;
        while (q > 0 && text[q - 1] != L';' && p - q <= kMaxField) {
            --q;
        }
        if (q == 0 || text[q - 1] != L';' || p - q > kMaxField) {
            return false;
        }
        field = {text.data() + q, p - q};
        p = q - 1;
    }
    const size_t kDateLength = 10;
    if (p < kDateLength || !IsNetworkText(fields[0]) || !IsValueText(fields[1]) ||
        !IsValueText(fields[2]) || !IsValueText(fields[3]) ||
        !ParseTime(text.data() + p - kDateLength, fields[4], cell.local)) {
        return false;
    }
    AssignAscii(cell.network, fields[0]);
    AssignAscii(cell.bcch, fields[1]);
    AssignAscii(cell.cell, fields[2]);
    AssignAscii(cell.lac, fields[3]);
    start = p - kDateLength;
    return true;
}

// Error records in text that begin before limit.
uint64_t CountErrorRecords(const std::wstring& text, size_t limit) {
    uint64_t count = 0;
    for (size_t at = text.find(kErrorMark); at < limit; at = text.find(kErrorMark, at + 1)) {
        ++count;
    }
    return count;
}

// A cell line begun after the last error record: "dd.mm.yyyy;" with no end.
bool HoldsCutCellLine(const std::wstring& text) {
    const size_t last = text.rfind(kErrorMark);
    const size_t from = last == std::wstring::npos ? 0 : last + kErrorMarkLength;
    for (size_t at = from; at + 11 <= text.size(); ++at) {
        const wchar_t* p = text.data() + at;
        if (AllDigits(p, 2) && p[2] == L'.' && AllDigits(p + 3, 2) && p[5] == L'.' &&
            AllDigits(p + 6, 4) && p[10] == L';') {
            return true;
        }
    }
    return false;
}

} // namespace

bool CellLogReader::Read(const std::wstring& path,
                         const std::function<void(const CellLogLine&)>& takeLine) {
    error.clear();
    damagedLines.clear();
    take = takeLine;
    line.clear();
    lineShortened = false;
    lineNumber = 0;
    const std::string name = Utf8(path);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot open the log " + name;
        return false;
    }
    std::vector<char> bytes(kReadBytes + 1);
    std::vector<wchar_t> text(kReadBytes);
    size_t carried = 0; // a UTF-16 unit's first byte, left from the read before
    bool first = true;
    bool wide = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + carried, static_cast<DWORD>(kReadBytes), &got,
                      nullptr)) {
            error = "cannot read the log " + name;
            CloseHandle(file);
            return false;
        }
        if (got == 0) {
            break;
        }
        size_t size = carried + got;
        const char* from = bytes.data();
        if (first) {
            first = false;
            const unsigned char* b = reinterpret_cast<const unsigned char*>(from);
            if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
                error = name + " is UTF-16 big-endian text, not a Kestrel log";
                CloseHandle(file);
                return false;
            }
            if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
                from += 2;
            } else if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
                from += 3;
                wide = false;
            } else {
                // A log begins with a digit or "ERROR": its second byte tells UTF-16.
                wide = size >= 2 && b[0] != 0 && b[1] == 0;
            }
            size -= from - bytes.data();
        }
        size_t units = 0;
        if (wide) {
            units = size / 2;
            std::memcpy(text.data(), from, units * 2);
            carried = size % 2;
            if (carried) {
                bytes[0] = from[size - 1];
            }
        } else {
            units = size;
            for (size_t i = 0; i < size; ++i) {
                text[i] = static_cast<unsigned char>(from[i]);
            }
        }
        TakeText(text.data(), text.data() + units);
    }
    CloseHandle(file);
    // A log cut short ends inside its last line.
    if (!line.empty() || lineShortened) {
        EndLine();
    }
    return true;
}

void CellLogReader::TakeText(const wchar_t* begin, const wchar_t* end) {
    while (begin < end) {
        const wchar_t* lineEnd = std::find(begin, end, L'\n');
        line.append(begin, lineEnd);
        if (line.size() > kLongLine) {
            ShortenLine();
        }
        if (lineEnd == end) {
            return;
        }
        EndLine();
        begin = lineEnd + 1;
    }
}

void CellLogReader::ShortenLine() {
    if (!lineShortened) {
        lineStartsWithError = line.compare(0, kErrorMarkLength, kErrorMark) == 0;
    }
    const size_t cut = line.size() - kLineTail;
    counts.errorRecords += CountErrorRecords(line, cut);
    line.erase(0, cut);
    lineShortened = true;
}

void CellLogReader::EndLine() {
    ++lineNumber;
    ++counts.lines;
    if (!line.empty() && line.back() == L'\r') {
        line.pop_back();
    }
    if (!lineShortened) {
        lineStartsWithError = line.compare(0, kErrorMarkLength, kErrorMark) == 0;
    }
    CellLogLine cell;
    size_t start = 0;
    const bool isCell = ParseCellLine(line, cell, start);
    // Records in a dropped start were counted then; a cell line cannot overlap a record.
    counts.errorRecords += CountErrorRecords(line, isCell ? start : line.size());
    if (isCell) {
        cell.line = lineNumber;
        ++counts.cellLines;
        take(cell);
        if ((start > 0 || lineShortened) && !lineStartsWithError) {
            Damaged();
        }
    } else {
        const bool blank = !lineShortened && line.find_first_not_of(L" \t") == std::wstring::npos;
        if (!blank && (!lineStartsWithError || HoldsCutCellLine(line))) {
            Damaged();
        }
    }
    line.clear();
    lineShortened = false;
}

void CellLogReader::Damaged() {
    ++counts.damaged;
    if (damagedLines.size() < kMaxDamagedLines) {
        damagedLines.push_back(lineNumber);
    }
}
