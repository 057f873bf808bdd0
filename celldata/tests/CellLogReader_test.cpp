// Cell logs as the item writes them, and as they come back from a phone: error records glued
// to cell lines, no byte-order mark, a converted copy, damage, a file cut short.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "CellLogReader.h"
#include "CivilTime.h"
#include "RilFileSubscriber.h"
#include "TestSupport.h"

namespace {

std::string Utf16(const std::wstring& text, bool byteOrderMark = true) {
    std::string bytes = byteOrderMark ? "\xFF\xFE" : "";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    return bytes;
}

struct ReadLog {
    bool read;
    std::vector<CellLogLine> lines;
    CellLogReader::Counts counts;
    std::vector<uint32_t> damaged;
};

ReadLog Read(const std::wstring& path) {
    CellLogReader reader;
    ReadLog log;
    log.read = reader.Read(path, [&log](const CellLogLine& line) { log.lines.push_back(line); });
    log.counts = reader.GetCounts();
    log.damaged = reader.DamagedLines();
    return log;
}

ReadLog ReadBytes(const std::string& bytes) {
    const std::wstring path = TestFolder(L"kestrel_celllog_reader") + L"log.txt";
    WriteFileBytes(path, bytes);
    return Read(path);
}

const wchar_t kError[] = L"ERROR:: Nepodařilo se inicializovat knihovnu RIL";

} // namespace

TEST(CellLogReaderTest, ReadsTheLogTheItemWrites) {
    const std::wstring path = TestFolder(L"kestrel_celllog_item") + L"gsminfo.txt";
    DeleteFileW(path.c_str()); // the writer appends
    {
        RilFileSubscriber writer(path);
        writer.SetEnabled(true);
        writer.OnNetworkId(L"23001");
        writer.OnCellInfo(CellInfo(L"2051", L"13962", L"1"));
        writer.OnError(L"Nepodařilo se inicializovat knihovnu RIL");
        writer.OnCellInfo(CellInfo(L"-1", L"13963", L"-1"));
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    const ReadLog log = Read(path);
    ASSERT_TRUE(log.read);
    ASSERT_EQ(2u, log.lines.size());
    EXPECT_EQ("2051", log.lines[0].lac);
    EXPECT_EQ("13962", log.lines[0].cell);
    EXPECT_EQ("1", log.lines[0].bcch);
    EXPECT_EQ("23001", log.lines[0].network);
    EXPECT_EQ("-1", log.lines[1].lac);
    EXPECT_EQ(3u, log.lines[1].line);
    // Written within the last minutes, in the machine's wall-clock time.
    const int64_t written =
        SecondsFromCivil({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
    EXPECT_LE(written - log.lines[0].local, 600);
    EXPECT_GE(written, log.lines[0].local);
    EXPECT_EQ(1u, log.counts.errorRecords);
    EXPECT_EQ(0u, log.counts.damaged);
}

TEST(CellLogReaderTest, ErrorRecordsGluedToCellLinesInAnyEncoding) {
    const std::wstring text = std::wstring(kError) + kError +
                              L"09.03.2008;07:05:03;2051;13962;1;23001; \n" + kError +
                              L"\n09.03.2008;07:06:10;2051;13963;1;23001; \n" + kError;
    for (const std::string& bytes :
         {Utf16(text), Utf16(text, false),
          std::string("\xEF\xBB\xBF") + "ERROR:: aERROR:: b09.03.2008;07:05:03;2051;"
                                        "13962;1;23001; \nERROR:: c\n09.03.2008;07:06:"
                                        "10;2051;13963;1;23001; \nERROR:: d"}) {
        const ReadLog log = ReadBytes(bytes);
        ASSERT_EQ(2u, log.lines.size());
        EXPECT_EQ("13962", log.lines[0].cell);
        EXPECT_EQ(SecondsFromCivil({2008, 3, 9, 7, 5, 3}), log.lines[0].local);
        EXPECT_EQ("13963", log.lines[1].cell);
        EXPECT_EQ(3u, log.lines[1].line);
        EXPECT_EQ(4u, log.counts.errorRecords);
        EXPECT_EQ(0u, log.counts.damaged);
        EXPECT_EQ(4u, log.counts.lines);
    }
}

TEST(CellLogReaderTest, DamagedLinesAreCountedAndALogCutShortReadToItsEnd) {
    const std::wstring good = L"09.03.2008;07:05:03;2051;13962;1;23001; \n";
    const std::wstring text =
        good + L"31.02.2008;07:05:03;2051;13962;1;23001; \n"      // no such day
        + L"09.03.2008;07:05:03;2051;13x62;1;23001; \n"           // no number
        + L"09.03.2008;07:05:03;2051;13962;1;2300; \n"            // no network id
        + L"09.03.2008;07:05:03;2051;13962;23001; \n"             // a field missing
        + L"\n" + L"09.03.2008;07:07:00;2051;13964;1;-----; \r\n" // an edited copy
        + std::wstring(40, L'\0') + good                          // zeros a crash left
        + kError + L"09.03.2008;07:0"                             // cut inside the cell line
        + L"\n" + L"09.03.2008;07:09:00;2051;13965;1;23001; ";    // cut before its line end
    // The last byte of a UTF-16 unit is missing too.
    const ReadLog log = ReadBytes(Utf16(text) + "0");
    ASSERT_TRUE(log.read);
    ASSERT_EQ(4u, log.lines.size());
    EXPECT_EQ("-----", log.lines[1].network);
    EXPECT_EQ(7u, log.lines[1].line);
    EXPECT_EQ(8u, log.lines[2].line);
    EXPECT_EQ("13965", log.lines[3].cell);
    EXPECT_EQ(6u, log.counts.damaged);
    EXPECT_EQ((std::vector<uint32_t>{2, 3, 4, 5, 8}), log.damaged);
    EXPECT_EQ(10u, log.counts.lines);
}

TEST(CellLogReaderTest, HoursOfGluedErrorRecordsTakeLittleRoomAndAllCount) {
    std::wstring text;
    for (int i = 0; i < 20000; ++i) {
        text += kError;
    }
    text += L"09.03.2008;07:05:03;2051;13962;1;23001; \n";
    const ReadLog log = ReadBytes(Utf16(text));
    ASSERT_EQ(1u, log.lines.size());
    EXPECT_EQ("13962", log.lines[0].cell);
    EXPECT_EQ(20000u, log.counts.errorRecords);
    EXPECT_EQ(0u, log.counts.damaged);
}

TEST(CellLogReaderTest, AMissingLogIsAnError) {
    CellLogReader reader;
    EXPECT_FALSE(reader.Read(TestFolder(L"kestrel_celllog_missing") + L"none.txt",
                             [](const CellLogLine&) {}));
    EXPECT_NE(std::string::npos, reader.Error().find("cannot open the log")) << reader.Error();
}
