#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "CellInfo.h"
#include "SlimLock.h"

// Tells whether a cell log holds every line its writer had to write. It replays what the radio
// reported to the item, with the writer's rules: a line when the cell or the network id
// differs from the last line written; a line that could not be written is tried again at the
// next cell result, since only a written line counts as the last one. Writes may fail only
// while the log is marked blocked (held open by another process, folder full); everywhere else
// the next line of the file must be the one the writer had to write.
class CellLogCheck {
public:
    struct Result {
        unsigned long cellResults = 0;    // cell results while logging was on
        unsigned long attempts = 0;       // lines the writer had to try
        unsigned long written = 0;        // found in the file, in order
        unsigned long failedBlocked = 0;  // not written while the log was blocked (allowed)
        unsigned long writtenBlocked = 0; // written while the log was blocked, found on reading it
        unsigned long missing = 0;        // not written outside a blocked stretch
        unsigned long unexpected = 0;     // cell lines in the file nobody had to write
        unsigned long corrupt = 0;        // lines that are neither cell lines nor error records
        unsigned long errorRecords = 0;
        bool byteOrderMark = false;
        std::vector<std::wstring> problems; // the first few, for the report
        bool Ok() const { return byteOrderMark && !missing && !unexpected && !corrupt; }
    };

    CellLogCheck();

    // The library was loaded afresh: a new writer, logging off, nothing written yet.
    void WriterCreated();
    void LoggingSwitched(bool on);
    void LogBlocked(bool blocked);
    // The log as it stands when a blocked stretch ends, still marked blocked: which of the
    // lines due meanwhile the writer managed to write (a full disk takes short records and
    // refuses long ones) is read off the file instead of guessed.
    void LogSeen(const std::string& logBytes);
    // The soak's stretches, numbered from 1, so that a problem says where it arose.
    void StretchStarted(unsigned long number);
    // On the radio layer's thread, before the writer sees the value.
    void NetworkReported(const std::wstring& id);
    void CellReported(const CellInfo& cell);

    // Compares what was reported with the log file's bytes (UTF-16LE with byte-order mark),
    // once nothing is being written any more.
    Result Check(const std::string& logBytes);

private:
    enum class Kind : unsigned char {
        Created,
        LoggingOn,
        LoggingOff,
        BlockedOn,
        BlockedOff,
        Network,
        Cell,
        Stretch,
        Synchronized
    };
    // Compact: a soak reports some ten thousand values a round. A cell's texts are the
    // decimal texts of signed numbers ("-1" when not reported), so numbers keep them whole.
    struct Event {
        Kind kind;
        wchar_t networkId[6];
        int lac, cellId, bcch;
    };
    void Add(const Event& event);

    struct SyncPoint {
        size_t lines;
        Event last; // the last cell line then, as the writer's last written line
    };

    SlimLock lock;
    std::vector<Event> events;
    std::vector<SyncPoint> synchronized;
};
