#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "CellLogReader.h"
#include "CellRecord.h"
#include "LocalTimeZone.h"

// Where a cell's tower stands, as a source of tower positions knows it. It is the tower's
// position, never the phone's: the phone was somewhere within the tower's reach.
struct TowerPosition {
    std::string lat;           // decimal degrees as the source gives them; empty when not known
    std::string lon;           //
    std::string radio;         // "GSM", "UMTS", "LTE", "NR", or empty when the source says none
    uint32_t range = kNoValue; // metres, the source's estimate of the cell's reach
    std::string source;        // where the position comes from: "BTS database 23001.csv"
    bool Known() const { return !lat.empty(); }
};

// A cell the logs name: network id, LAC and cell id as the log writes them.
struct DriveCell {
    std::string network;
    std::string lac;
    std::string cell;
    TowerPosition tower;
};

// One line of a log: the phone on a cell from its time until the next line's.
struct Stay {
    int64_t utc;
    int64_t local; // the wall-clock time the log gives
    int64_t end;   // the next stay's utc; kNoEnd for the last one
    uint32_t cell; // index in Cells()
    uint32_t line; // line number in its log
    uint32_t log;  // index in LogNames()
    uint32_t bcch; // index in BcchTexts()
};

const int64_t kNoEnd = INT64_MIN;

// The cell lines of one or more logs merged into one drive in time order.
class CellDrive {
public:
    explicit CellDrive(LocalTimeZone& zone) : zone(zone) {}

    // The lines that follow come from this log. A log is written in time order, which tells
    // which of the two times of a repeated hour (daylight saving time ending) a line means.
    void BeginLog(const std::string& name);
    void Add(const CellLogLine& line);
    // Puts the stays in time order; a line that several logs hold (same time, cell and BCCH) is
    // kept once.
    void Finish();

    std::vector<DriveCell>& Cells() { return cells; }
    const std::vector<DriveCell>& Cells() const { return cells; }
    const std::vector<Stay>& Stays() const { return stays; }
    const std::vector<std::string>& LogNames() const { return logNames; }
    // The BCCH texts the logs give; a network uses a few hundred channels.
    const std::string& Bcch(const Stay& stay) const { return bcchTexts[stay.bcch]; }
    const LocalTimeZone& Zone() const { return zone; }
    uint64_t Duplicates() const { return duplicates; }
    // Lines in a repeated hour, told apart by their order.
    uint64_t RepeatedHourLines() const { return repeatedHour; }
    // Cells with a known tower position.
    size_t LocatedCells() const;

    // The stays of each local day, [first, last) each, in order.
    std::vector<std::pair<size_t, size_t>> Days() const;
    // The cells with a known tower of the stays [first, last), in order, a cell met again
    // right after itself (or at the same place) once.
    std::vector<uint32_t> Path(size_t first, size_t last) const;

private:
    LocalTimeZone& zone;
    std::vector<DriveCell> cells;
    std::unordered_map<std::string, uint32_t> cellIndex; // "network;lac;cell"
    std::string key;                                     // kept for its room
    std::vector<Stay> stays;
    std::vector<std::string> logNames;
    std::vector<std::string> bcchTexts;
    std::unordered_map<std::string, uint32_t> bcchIndex;
    int64_t previousUtc = INT64_MIN;
    uint64_t duplicates = 0;
    uint64_t repeatedHour = 0;
};
