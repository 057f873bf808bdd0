#include "CellLogCheck.h"

namespace {

const size_t kProblemsKept = 10;
// How many lines nobody had to write may stand before a line due.
const size_t kLookAhead = 4;

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

// The cell lines of a log's bytes, in order; error records and other lines are left out.
std::vector<LogLine> CellLines(const std::string& bytes) {
    std::vector<LogLine> lines;
    if (bytes.size() < 2) {
        return lines;
    }
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(&text[0], bytes.data() + 2, text.size() * 2);
    for (const std::wstring& raw : Split(text, L'\n')) {
        LogLine line;
        if (ParseCellLine(raw, line)) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::wstring Describe(const CellInfo& cell, const std::wstring& networkId) {
    return cell.lac + L";" + cell.cellId + L";" + cell.bcch + L";" + networkId;
}

// Room for several rounds' reports, taken at once: memory the soak itself takes during the run
// would show as the process's memory growing.
const size_t kEventsReserved = 400000;

int Number(const std::wstring& text) {
    return static_cast<int>(wcstol(text.c_str(), nullptr, 10));
}

} // namespace

CellLogCheck::CellLogCheck() {
    // Written once, so that every page is the process's from the start: Wine counts a page as
    // private memory only once it has been written.
    events.resize(kEventsReserved);
    events.clear();
}

void CellLogCheck::Add(const Event& event) {
    std::lock_guard<SlimLock> hold(lock);
    events.push_back(event);
}

void CellLogCheck::WriterCreated() {
    Add({Kind::Created, {}, 0, 0, 0});
}

void CellLogCheck::LoggingSwitched(bool on) {
    Add({on ? Kind::LoggingOn : Kind::LoggingOff, {}, 0, 0, 0});
}

void CellLogCheck::LogBlocked(bool isBlocked) {
    Add({isBlocked ? Kind::BlockedOn : Kind::BlockedOff, {}, 0, 0, 0});
}

void CellLogCheck::LogSeen(const std::string& logBytes) {
    std::vector<LogLine> lines = CellLines(logBytes);
    Event last = {Kind::Synchronized, {}, 0, 0, 0};
    if (!lines.empty()) {
        lstrcpynW(last.networkId, lines.back().networkId.c_str(), 6);
        last.lac = Number(lines.back().cell.lac);
        last.cellId = Number(lines.back().cell.cellId);
        last.bcch = Number(lines.back().cell.bcch);
    }
    std::lock_guard<SlimLock> hold(lock);
    synchronized.push_back({lines.size(), last});
    events.push_back({Kind::Synchronized, {}, static_cast<int>(synchronized.size() - 1), 0, 0});
}

void CellLogCheck::StretchStarted(unsigned long number) {
    Add({Kind::Stretch, {}, static_cast<int>(number), 0, 0});
}

void CellLogCheck::NetworkReported(const std::wstring& id) {
    Event event = {Kind::Network, {}, 0, 0, 0};
    lstrcpynW(event.networkId, id.c_str(), 6);
    Add(event);
}

void CellLogCheck::CellReported(const CellInfo& cell) {
    Add({Kind::Cell, {}, Number(cell.lac), Number(cell.cellId), Number(cell.bcch)});
}

CellLogCheck::Result CellLogCheck::Check(const std::string& logBytes) {
    std::lock_guard<SlimLock> hold(lock);
    Result result;
    auto Problem = [&](const std::wstring& what) {
        if (result.problems.size() < kProblemsKept) {
            result.problems.push_back(what);
        }
    };
    result.byteOrderMark = logBytes.size() >= 2 &&
                           static_cast<unsigned char>(logBytes[0]) == 0xFF &&
                           static_cast<unsigned char>(logBytes[1]) == 0xFE;
    std::wstring text;
    if (result.byteOrderMark) {
        text.assign((logBytes.size() - 2) / 2, L'\0');
        memcpy(&text[0], logBytes.data() + 2, text.size() * 2);
    }
    if (!result.byteOrderMark) {
        Problem(L"the log does not begin with FF FE");
    }

    std::vector<LogLine> lines;
    std::vector<std::wstring> rawLines = Split(text, L'\n');
    for (size_t i = 0; i < rawLines.size(); ++i) {
        const std::wstring& raw = rawLines[i];
        // The text after the last line feed is empty unless the file ends inside a line.
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
            Problem(L"corrupt line " + std::to_wstring(i + 1) + L": \"" + raw.substr(0, 60) +
                    L"\"");
        }
    }

    // The writer as the reports leave it, and the next line of the file to be met.
    bool enabled = false;
    bool blocked = false;
    bool anyLineWritten = false;
    Event lastWritten = {};
    std::wstring networkId = L"-----";
    size_t nextLine = 0;
    size_t linesAtCreated = 0;
    LogLine refused;
    bool refusedPending = false;
    int stretch = 0;
    for (const Event& event : events) {
        switch (event.kind) {
        case Kind::Created:
            linesAtCreated = nextLine;
            enabled = false;
            anyLineWritten = false;
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
            networkId = event.networkId;
            break;
        case Kind::Stretch:
            stretch = event.lac;
            break;
        case Kind::Synchronized: {
            // What the writer managed while the log was blocked is whatever the file held.
            const SyncPoint& point = synchronized[event.lac];
            if (point.lines > nextLine) {
                result.writtenBlocked += static_cast<unsigned long>(point.lines - nextLine);
            }
            nextLine = point.lines < lines.size() ? point.lines : lines.size();
            // A writer made during the stretch that wrote nothing yet has no last line.
            if (point.lines > linesAtCreated) {
                anyLineWritten = true;
                lastWritten = point.last;
            }
            break;
        }
        case Kind::Cell: {
            if (!enabled) {
                break;
            }
            ++result.cellResults;
            const CellInfo cell(std::to_wstring(event.lac), std::to_wstring(event.cellId),
                                std::to_wstring(event.bcch));
            if (anyLineWritten && event.lac == lastWritten.lac &&
                event.cellId == lastWritten.cellId && event.bcch == lastWritten.bcch &&
                networkId == lastWritten.networkId) {
                break;
            }
            ++result.attempts;
            auto matches = [&](size_t at) {
                return at < lines.size() && lines[at].cell == cell &&
                       lines[at].networkId == networkId;
            };
            // A few lines nobody had to write may stand before the one due: they are counted
            // apart, and the check goes on from the line due, so one difference does not make
            // every later line differ.
            size_t at = nextLine;
            while (!blocked && !matches(at) && at < nextLine + kLookAhead) {
                ++at;
            }
            if (!matches(at)) {
                at = nextLine;
            }
            for (; nextLine < at; ++nextLine) {
                // The line refused last while the log was blocked, written by a retry that
                // came after the log was read.
                if (refusedPending && lines[nextLine].cell == refused.cell &&
                    lines[nextLine].networkId == refused.networkId) {
                    refusedPending = false;
                    ++result.writtenBlocked;
                    continue;
                }
                ++result.unexpected;
                Problem(L"unexpected line " +
                        Describe(lines[nextLine].cell, lines[nextLine].networkId) + L" (stretch " +
                        std::to_wstring(stretch) + L", before " + Describe(cell, networkId) + L")");
            }
            if (matches(nextLine)) {
                ++nextLine;
                ++result.written;
            } else if (blocked) {
                ++result.failedBlocked;
                refused = {cell, networkId};
                refusedPending = true;
                break;
            } else {
                ++result.missing;
                Problem(L"missing line " + Describe(cell, networkId) + L" (stretch " +
                        std::to_wstring(stretch) + L", after " + std::to_wstring(result.written) +
                        L" lines; the next reads " +
                        (nextLine < lines.size()
                             ? Describe(lines[nextLine].cell, lines[nextLine].networkId)
                             : std::wstring(L"nothing")) +
                        L")");
            }
            // Counted as written, so one missing line does not make every later one differ.
            anyLineWritten = true;
            lastWritten = event;
            lstrcpynW(lastWritten.networkId, networkId.c_str(), 6);
            break;
        }
        }
    }
    if (nextLine < lines.size()) {
        const unsigned long left = static_cast<unsigned long>(lines.size() - nextLine);
        result.unexpected += left;
        Problem(L"unexpected line " + Describe(lines[nextLine].cell, lines[nextLine].networkId) +
                L" and " + std::to_wstring(left - 1) + L" more at the end");
    }
    return result;
}
