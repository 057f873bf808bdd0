#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "CellRecord.h"
#include "WorkerThread.h"

typedef struct z_stream_s z_stream;

// Reads the cells of OpenCellID exports: CSV lines
//   radio,mcc,net,area,cell,unit,lon,lat,range,samples,changeable,created,updated,averageSignal
// plain or gzip-compressed (told by the first bytes, not the name). A first line that names a
// column "mcc" is a header: the columns are then taken by name, and the optional columns
// "channel" (or arfcn, uarfcn, earfcn, nrarfcn, bcch) and "district" (or okres) are read too.
// Malformed lines are counted and skipped; CDMA lines are counted apart.
class CellExportReader {
public:
    struct Counts {
        uint64_t lines = 0;      // every line read, header and empty lines included
        uint64_t cells = 0;      // lines that gave a cell
        uint64_t malformed = 0;  // lines skipped because a value is missing or unreadable
        uint64_t otherRadio = 0; // lines of radios that have no place here (CDMA)
        uint64_t noDistrict = 0; // cells whose new district found the table full
    };

    CellExportReader();
    ~CellExportReader();
    CellExportReader(const CellExportReader&) = delete;
    CellExportReader& operator=(const CellExportReader&) = delete;

    // Starts reading a file; false (with Error()) when it cannot be opened.
    bool Open(const std::wstring& path);
    // Starts reading text held in memory, as if it were a plain file.
    void OpenText(const std::string& text);
    // The next cell of the current input; false at its end, or when the input cannot be read
    // any further: a damaged compressed stream, a read error or a header without a needed
    // column (Error() then says what).
    bool Next(CellRecord& cell);
    // Appends the next cells of the current input, many at a time: the lines in the buffer
    // are parsed on two threads while the next text is read. False as Next is.
    bool NextBatch(std::vector<CellRecord>& cells);
    const std::string& Error() const { return error; }
    // The current input is gzip-compressed.
    bool Compressed() const { return stream != nullptr; }

    // Over every input since construction.
    const Counts& GetCounts() const { return counts; }
    // The districts met, as Windows-1250 text; CellRecord::district indexes it, 0 is none.
    const std::vector<std::string>& Districts() const { return districts; }
    // Bounds the memory of the district table (none by default). A district met when the
    // table is full is left out: its cells have none (counted in noDistrict).
    void LimitDistricts(size_t bytes) { districtLimit = bytes; }
    // What the district table takes, estimated from above.
    size_t DistrictBytes() const { return districtBytes; }

    enum Column {
        RadioColumn,
        MccColumn,
        NetColumn,
        AreaColumn,
        CellColumn,
        LonColumn,
        LatColumn,
        RangeColumn,
        SamplesColumn,
        UpdatedColumn,
        ChannelColumn,
        DistrictColumn,
        ColumnCount
    };

private:
    enum LineResult { Cell, Skipped, Failed };

    void Close();
    void StartInput();
    // Reads the next text of the input to `to`; sets inputEnded at the end, error on a failure.
    void Read(char* to, size_t room, size_t& got);
    // More text after the unread rest.
    void Fill();
    bool FillFromFile(char* to, size_t room, size_t& got);
    bool Inflate(char* to, size_t room, size_t& got);
    LineResult TakeLine(const char* begin, const char* end, CellRecord& cell);
    bool TakeHeader(const char* begin, const char* end);
    // Parse whole lines that are no header. Without a district column they touch nothing of
    // the reader's but the counts given, so two threads may parse at once.
    void ParseLines(const char* begin, const char* end, std::vector<CellRecord>& cells,
                    Counts& lineCounts);
    bool ParseLine(const char* begin, const char* end, CellRecord& cell, Counts& lineCounts);
    uint32_t DistrictIndex(const char* begin, const char* end);

    HANDLE file = INVALID_HANDLE_VALUE;
    z_stream* stream = nullptr;
    std::string name;
    std::vector<char> raw;   // compressed bytes not yet inflated
    std::vector<char> text;  // text not yet split into lines: [textBegin, textEnd)
    std::vector<char> ahead; // the text after it, read while text is parsed
    size_t textBegin = 0;
    size_t textEnd = 0;
    bool inputEnded = true;
    bool memberEnded = false; // a gzip member ended; another may follow
    bool firstLine = true;
    bool skippingLongLine = false;
    int columns[ColumnCount];
    int neededFields = 0;
    std::string error;
    Counts counts;
    std::vector<std::string> districts;
    std::unordered_map<std::string, uint32_t> districtIndex;
    size_t districtLimit = SIZE_MAX;
    size_t districtBytes = 0;
    // Parses half of a batch and reads ahead; started with the first batch.
    std::unique_ptr<WorkerThread> helper;
    std::vector<CellRecord> upper;
};
