#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One cell line of a Kestrel cell log: "dd.mm.yyyy;hh:mm:ss;lac;cellId;bcch;networkId; ".
struct CellLogLine {
    int64_t local;       // the wall-clock time written, in seconds since 1970-01-01 as if UTC
    std::string lac;     // as written: decimal, or "-1" when the radio did not report it
    std::string cell;    //
    std::string bcch;    //
    std::string network; // five or six digits, or "-----"
    uint32_t line;       // line number in its file, from 1
};

// Reads the cell logs the item writes: UTF-16LE with or without the byte-order mark (UTF-8
// text, as a converted copy has it, reads too), cell lines ending in a line feed, and error
// records "ERROR:: text" that may carry no line end, so that the next cell line follows on the
// same line. A line that is neither is counted as damaged and skipped; a file cut short is read
// up to where it ends. The file is read in pieces: a log of any size takes little memory.
class CellLogReader {
public:
    struct Counts {
        uint64_t lines = 0;        // lines of the files, the last one even without its line end
        uint64_t cellLines = 0;    // cell lines handed on
        uint64_t errorRecords = 0; // "ERROR:: " records
        uint64_t damaged = 0;      // lines (or text before a cell line) that are neither
    };

    // Hands every cell line of the file to take, in file order; false (with Error()) when the
    // file cannot be opened or read.
    bool Read(const std::wstring& path, const std::function<void(const CellLogLine&)>& take);

    // Over every file read since construction.
    const Counts& GetCounts() const { return counts; }
    const std::string& Error() const { return error; }
    // The line numbers of the first damaged lines of the last file read (at most a few).
    const std::vector<uint32_t>& DamagedLines() const { return damagedLines; }

private:
    void TakeText(const wchar_t* begin, const wchar_t* end);
    void EndLine();
    void Damaged();
    // Drops the start of a long line, counting the error records in it.
    void ShortenLine();

    std::function<void(const CellLogLine&)> take;
    std::wstring line;          // the current line, or its end when it is long
    bool lineShortened = false; // its start was dropped
    bool lineStartsWithError = false;
    uint32_t lineNumber = 0;
    Counts counts;
    std::string error;
    std::vector<uint32_t> damagedLines;
};
