#include "CellLogCheck.h"

namespace {

const size_t kProblemsKept = 10;

struct LogLine {
    CellInfo cell;
    std::wstring networkId;
};

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::wstring::npos; start = at + 1) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

bool IsDigits(const std::wstring& text, size_t from, size_t count) {
    if (text.size() < from + count) {
        return false;
    }
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < L'0' || text[i] > L'9') {
            return false;
        }
    }
    return true;
}

// "dd.mm.yyyy;hh:mm:ss;lac;cell;bcch;network; " (the line feed taken off).
bool ParseCellLine(const std::wstring& line, LogLine& parsed) {
    std::vector<std::wstring> fields = Split(line, L';');
    if (fields.size() != 7 || fields[6] != L" " || fields[0].size() != 10 ||
        fields[1].size() != 8 || !IsDigits(fields[0], 0, 2) || fields[0][2] != L'.' ||
        !IsDigits(fields[0], 3, 2) || fields[0][5] != L'.' || !IsDigits(fields[0], 6, 4) ||
        !IsDigits(fields[1], 0, 2) || fields[1][2] != L':' || !IsDigits(fields[1], 3, 2) ||
        fields[1][5] != L':' || !IsDigits(fields[1], 6, 2) || fields[5].size() != 5) {
        return false;
    }
    parsed.cell = CellInfo(fields[2], fields[3], fields[4]);
    parsed.networkId = fields[5];
    return true;
}

std::wstring Describe(const CellInfo& cell, const std::wstring& networkId) {
    return cell.lac + L";" + cell.cellId + L";" + cell.bcch + L";" + networkId;
}

} // namespace

void CellLogCheck::Add(Event event) {
    std::lock_guard<std::mutex> hold(lock);
    events.push_back(std::move(event));
}

void CellLogCheck::WriterCreated() {
    Add({Kind::Created, CellInfo(), std::wstring()});
}

void CellLogCheck::LoggingSwitched(bool on) {
    Add({on ? Kind::LoggingOn : Kind::LoggingOff, CellInfo(), std::wstring()});
}

void CellLogCheck::LogBlocked(bool blocked) {
    Add({blocked ? Kind::BlockedOn : Kind::BlockedOff, CellInfo(), std::wstring()});
}

void CellLogCheck::NetworkReported(const std::wstring& id) {
    Add({Kind::Network, CellInfo(), id});
}

void CellLogCheck::CellReported(const CellInfo& cell) {
    Add({Kind::Cell, cell, std::wstring()});
}

CellLogCheck::Result CellLogCheck::Check(const std::string& logBytes) const {
    Result result;
    result.byteOrderMark = logBytes.size() >= 2 && static_cast<unsigned char>(logBytes[0]) == 0xFF &&
                           static_cast<unsigned char>(logBytes[1]) == 0xFE;
    std::wstring text;
    if (result.byteOrderMark) {
        text.assign((logBytes.size() - 2) / 2, L'\0');
        memcpy(&text[0], logBytes.data() + 2, text.size() * 2);
    }
    auto problem = [&](const std::wstring& what) {
        if (result.problems.size() < kProblemsKept) {
            result.problems.push_back(what);
        }
    };
    if (!result.byteOrderMark) {
        problem(L"the log does not begin with FF FE");
    }

    std::vector<LogLine> lines;
    std::vector<std::wstring> rawLines = Split(text, L'\n');
    // The text after the last line feed is empty unless the file ends in the middle of a line.
    for (size_t i = 0; i < rawLines.size(); ++i) {
        const std::wstring& raw = rawLines[i];
        if (i + 1 == rawLines.size() && raw.empty()) {
            break;
        }
        LogLine line;
        if (raw.compare(0, 8, L"ERROR:: ") == 0) {
            ++result.errorRecords;
        } else if (ParseCellLine(raw, line)) {
            lines.push_back(line);
        } else {
            ++result.corrupt;
            problem(L"corrupt line " + std::to_wstring(i + 1) + L": \"" + raw.substr(0, 60) + L"\"");
        }
    }

    std::lock_guard<std::mutex> hold(lock);
    size_t next = 0;
    bool enabled = false;
    bool blocked = false;
    CellInfo lastCell;
    std::wstring lastNetworkId;
    std::wstring networkId = L"-----";
    for (const Event& event : events) {
        switch (event.kind) {
        case Kind::Created:
            enabled = false;
            lastCell = CellInfo();
            lastNetworkId.clear();
            networkId = L"-----";
            break;
        case Kind::LoggingOn:
        case Kind::LoggingOff:
            enabled = event.kind == Kind::LoggingOn;
            break;
        case Kind::BlockedOn:
        case Kind::BlockedOff:
            blocked = event.kind == Kind::BlockedOn;
            break;
        case Kind::Network:
            networkId = event.text;
            break;
        case Kind::Cell: {
            if (!enabled) {
                break;
            }
            ++result.cellResults;
            if (event.cell == lastCell && networkId == lastNetworkId) {
                break;
            }
            ++result.attempts;
            bool found = next < lines.size() && lines[next].cell == event.cell &&
                         lines[next].networkId == networkId;
            if (found) {
                ++next;
                ++result.written;
            } else if (blocked) {
                ++result.failedBlocked;
                break;
            } else {
                ++result.missing;
                problem(L"missing line " + Describe(event.cell, networkId) + L" (after " +
                        std::to_wstring(result.written) + L" lines)");
            }
            // Counted as written, so one missing line does not make every later one differ.
            lastCell = event.cell;
            lastNetworkId = networkId;
            break;
        }
        }
    }
    result.unexpected = static_cast<unsigned long>(lines.size() - next);
    if (result.unexpected) {
        problem(L"unexpected line " + Describe(lines[next].cell, lines[next].networkId) +
                L" and " + std::to_wstring(result.unexpected - 1) + L" more");
    }
    return result;
}
