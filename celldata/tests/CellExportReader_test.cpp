// Reading OpenCellID exports: the columns, header lines, malformed lines, gzip.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CellExportReader.h"
#include "CellTestData.h"
#include "TestSupport.h"

namespace {

std::vector<CellRecord> ReadAll(CellExportReader& reader) {
    std::vector<CellRecord> cells;
    CellRecord cell;
    while (reader.Next(cell)) {
        cells.push_back(cell);
    }
    return cells;
}

const char kLines[] = "GSM,230,1,100,1001,0,14.421254,50.087465,800,12,1,1262304000,1600000000,0\n"
                      "UMTS,230,3,200,12345678,7,16.6,49.2,,,1,0,,0\n"
                      "LTE,310,410,30000,268435455,1,-73.9857,40.7484,5000,3,1,0,1700000000,-90\n";

} // namespace

TEST(CellExportReaderTest, ColumnsOfTheExportLayout) {
    CellExportReader reader;
    reader.OpenText(std::string("radio,mcc,net,area,cell,unit,lon,lat,range,samples,changeable,"
                                "created,updated,averageSignal\r\n") +
                    kLines + "NR,230,2,5,68719476735,0,14.5,50.1,100,1,1,0,0,0");
    std::vector<CellRecord> cells = ReadAll(reader);
    ASSERT_EQ(4u, cells.size());
    EXPECT_EQ(Radio::Gsm, cells[0].radio);
    EXPECT_EQ(230, cells[0].mcc);
    EXPECT_EQ(1, cells[0].net);
    EXPECT_EQ(100u, cells[0].area);
    EXPECT_EQ(1001u, cells[0].cell);
    EXPECT_EQ("50.087465", CoordinateText(cells[0].lat, cells[0].latDecimals));
    EXPECT_EQ("14.421254", CoordinateText(cells[0].lon, cells[0].lonDecimals));
    EXPECT_EQ(800u, cells[0].range);
    EXPECT_EQ(12u, cells[0].samples);
    EXPECT_EQ(1600000000u, cells[0].updated);
    EXPECT_EQ(kNoValue, cells[0].channel);
    EXPECT_EQ(0u, cells[0].district);
    // Empty optional values have none; short coordinates stay as short.
    EXPECT_EQ(kNoValue, cells[1].range);
    EXPECT_EQ(kNoValue, cells[1].samples);
    EXPECT_EQ(kNoValue, cells[1].updated);
    EXPECT_EQ("49.2", CoordinateText(cells[1].lat, cells[1].latDecimals));
    EXPECT_EQ("-73.9857", CoordinateText(cells[2].lon, cells[2].lonDecimals));
    EXPECT_EQ("310410", NetworkId(cells[2].mcc, cells[2].net));
    // The last line has no line end; NR ids take 36 bits.
    EXPECT_EQ(kMaxCellId, cells[3].cell);
    EXPECT_EQ(Radio::Nr, cells[3].radio);
    EXPECT_EQ(5u, reader.GetCounts().lines);
    EXPECT_EQ(0u, reader.GetCounts().malformed);
}

TEST(CellExportReaderTest, MalformedLinesAreCountedAndSkipped) {
    CellExportReader reader;
    reader.OpenText("GSM,230,1,100,1001,0,14.42,50.08,800,12,1,0,1600000000,0\n"
                    "\n"
                    "GSM,230,1,100\n"                                     // too short
                    "GSM,2300,1,100,1,0,14.4,50.0,1,1,1,0,0,0\n"          // mcc
                    "GSM,230,1,x,1,0,14.4,50.0,1,1,1,0,0,0\n"             // area
                    "GSM,230,1,100,-1,0,14.4,50.0,1,1,1,0,0,0\n"          // cell
                    "GSM,230,1,100,68719476736,0,14.4,50.0,1,1,1,0,0,0\n" // cell too big
                    "GSM,230,1,100,1,0,14.4,90.5,1,1,1,0,0,0\n"           // latitude
                    "GSM,230,1,100,1,0,1.4e1,50.0,1,1,1,0,0,0\n"          // longitude
                    "GSM,230,1,100,1,0,14.4,50.0,far,1,1,0,0,0\n"         // range
                    "WIFI,230,1,100,1,0,14.4,50.0,1,1,1,0,0,0\n"          // radio
                    "CDMA,310,4,5,6,0,-73.9,40.7,1,1,1,0,0,0\n"           // other radio
                    "LTE,230,2,300,1002,0,14.4,50.0,1,1,1,0,0,0\r\n");
    std::vector<CellRecord> cells = ReadAll(reader);
    ASSERT_EQ(2u, cells.size());
    EXPECT_EQ(1001u, cells[0].cell);
    EXPECT_EQ(1002u, cells[1].cell);
    EXPECT_EQ(13u, reader.GetCounts().lines);
    EXPECT_EQ(2u, reader.GetCounts().cells);
    EXPECT_EQ(9u, reader.GetCounts().malformed);
    EXPECT_EQ(1u, reader.GetCounts().otherRadio);
    EXPECT_TRUE(reader.Error().empty());
}

// A header names the columns: another order, a channel and a district (UTF-8 in the export,
// Windows-1250 for the databases). Without a needed column the input cannot be read.
TEST(CellExportReaderTest, HeaderNamesTheColumns) {
    CellExportReader reader;
    reader.OpenText("MCC,MNC,LAC,CID,Radio,Lat,Lon,EARFCN,Okres\n"
                    "230,1,100,1001,LTE,50.08,14.42,6300,\xC5\xBD\xC4\x8F\xC3\xA1r; Sázavou\n"
                    "230,1,100,1002,LTE,50.09,14.43,,\n");
    std::vector<CellRecord> cells = ReadAll(reader);
    ASSERT_EQ(2u, cells.size());
    EXPECT_EQ(6300u, cells[0].channel);
    EXPECT_EQ(kNoValue, cells[0].range);
    ASSERT_EQ(2u, reader.Districts().size());
    EXPECT_EQ("\x8E\xEF\xE1r, S\xE1zavou", reader.Districts()[cells[0].district]);
    EXPECT_EQ(kNoValue, cells[1].channel);
    EXPECT_EQ(0u, cells[1].district);

    reader.OpenText("radio,mcc,net,area,cell,lon\nGSM,230,1,100,1001,14.42\n");
    EXPECT_TRUE(ReadAll(reader).empty());
    EXPECT_EQ("text: the header line names no column \"lat\"", reader.Error());
}

// Spreadsheet tools save CSV as UTF-8 with a byte-order mark, with a header or without.
TEST(CellExportReaderTest, ByteOrderMarkBeforeTheFirstLine) {
    CellExportReader reader;
    reader.OpenText(
        "\xEF\xBB\xBFradio,mcc,net,area,cell,lon,lat\nGSM,230,1,100,1001,14.42,50.08\n");
    std::vector<CellRecord> cells = ReadAll(reader);
    EXPECT_EQ("", reader.Error());
    ASSERT_EQ(1u, cells.size());
    EXPECT_EQ(1001u, cells[0].cell);

    reader.OpenText(std::string("\xEF\xBB\xBF") + kLines);
    EXPECT_EQ(3u, ReadAll(reader).size());
    EXPECT_EQ(0u, reader.GetCounts().malformed);
}

// A table of districts bounded in bytes: districts met once it is full are left out, those
// in it still found.
TEST(CellExportReaderTest, DistrictTableStaysWithinItsLimit) {
    std::string text = "radio,mcc,net,area,cell,lon,lat,district\n";
    for (int i = 0; i < 200; ++i) {
        text += "GSM,230,1,100," + std::to_string(1000 + i) + ",14.4,50.1,Okres " +
                std::to_string(i % 100) + " nad Sázavou\n";
    }
    CellExportReader reader;
    const size_t limit = 4096;
    reader.LimitDistricts(limit);
    reader.OpenText(text);
    std::vector<CellRecord> cells = ReadAll(reader);
    ASSERT_EQ(200u, cells.size());
    EXPECT_LE(reader.DistrictBytes(), limit);
    const size_t kept = reader.Districts().size() - 1;
    ASSERT_GT(kept, 5u);
    ASSERT_LT(kept, 50u);
    EXPECT_EQ(200u - 2 * kept, reader.GetCounts().noDistrict);
    // The second round of the same texts finds the districts kept.
    EXPECT_EQ("Okres 0 nad S\xE1zavou", reader.Districts()[cells[100].district]);
    EXPECT_EQ(cells[kept - 1].district, cells[100 + kept - 1].district);
    EXPECT_EQ(0u, cells[100 + kept].district);
}

TEST(CellExportReaderTest, GzipFilesAndConcatenatedMembers) {
    const std::wstring folder = TestFolder(L"kestrel_cell_export");
    const std::string header =
        "radio,mcc,net,area,cell,unit,lon,lat,range,samples,changeable,created,updated,"
        "averageSignal\n";
    // The second member has no header of its own: it continues the same text.
    WriteFileBytes(folder + L"cells.gz", Gzip(header + kLines) + Gzip(kLines));
    CellExportReader reader;
    ASSERT_TRUE(reader.Open(folder + L"cells.gz"));
    EXPECT_EQ(6u, ReadAll(reader).size());
    EXPECT_TRUE(reader.Error().empty());

    WriteFileBytes(folder + L"plain.csv", kLines);
    ASSERT_TRUE(reader.Open(folder + L"plain.csv"));
    EXPECT_EQ(3u, ReadAll(reader).size());
    EXPECT_EQ(4u + 6u, reader.GetCounts().lines);

    std::string cut = Gzip(kLines);
    WriteFileBytes(folder + L"cut.gz", cut.substr(0, cut.size() - 12));
    ASSERT_TRUE(reader.Open(folder + L"cut.gz"));
    ReadAll(reader);
    EXPECT_NE(std::string::npos, reader.Error().find("the compressed data ends early"))
        << reader.Error();

    std::string damaged = Gzip(kLines);
    damaged[10] = '\xFF'; // the first block's type: reserved
    WriteFileBytes(folder + L"damaged.gz", damaged);
    ASSERT_TRUE(reader.Open(folder + L"damaged.gz"));
    ReadAll(reader);
    EXPECT_NE(std::string::npos, reader.Error().find("damaged compressed data")) << reader.Error();

    EXPECT_FALSE(reader.Open(folder + L"missing.csv"));
    EXPECT_NE(std::string::npos, reader.Error().find("cannot open")) << reader.Error();
}

// A line longer than the reader's buffer (4 MB), here over two of them, is skipped whole and
// counted once; the lines around it are read.
TEST(CellExportReaderTest, OverlongLineIsSkipped) {
    const std::wstring folder = TestFolder(L"kestrel_cell_export");
    std::string text = "GSM,230,1,100,1001,0,14.42,50.08,800,12,1,0,1600000000,0\n";
    text += "GSM,230,1,100,1002,0,14.42,50.08," + std::string(9 << 20, '7') + "\n";
    text += "GSM,230,1,100,1003,0,14.42,50.08,800,12,1,0,1600000000,0\n";
    WriteFileBytes(folder + L"long.csv", text);
    CellExportReader reader;
    ASSERT_TRUE(reader.Open(folder + L"long.csv"));
    std::vector<CellRecord> cells = ReadAll(reader);
    ASSERT_EQ(2u, cells.size());
    EXPECT_EQ(1003u, cells[1].cell);
    EXPECT_EQ(1u, reader.GetCounts().malformed);
    EXPECT_EQ(3u, reader.GetCounts().lines);
}

// Batches parse the buffer's lines on two threads: the same cells and counts as one by one.
TEST(CellExportReaderTest, BatchesReadTheSameCells) {
    const std::wstring folder = TestFolder(L"kestrel_cell_export");
    WriteFileBytes(folder + L"many.csv",
                   MadeUpExport(50000, 5) + "GSM,230,1\n\nLTE,230,1,7,8,0,1,2");
    CellExportReader one;
    ASSERT_TRUE(one.Open(folder + L"many.csv"));
    std::vector<CellRecord> single = ReadAll(one);
    CellExportReader many;
    ASSERT_TRUE(many.Open(folder + L"many.csv"));
    std::vector<CellRecord> batched;
    while (many.NextBatch(batched)) {
    }
    ASSERT_EQ(50001u, single.size());
    ASSERT_EQ(single.size(), batched.size());
    for (size_t i = 0; i < single.size(); ++i) {
        const CellRecord& a = single[i];
        const CellRecord& b = batched[i];
        ASSERT_TRUE(a.cell == b.cell && a.area == b.area && a.net == b.net && a.lat == b.lat &&
                    a.lon == b.lon && a.updated == b.updated && a.radio == b.radio)
            << "cell " << i;
    }
    EXPECT_EQ(one.GetCounts().lines, many.GetCounts().lines);
    EXPECT_EQ(1u, many.GetCounts().malformed);
    EXPECT_EQ(50001u, many.GetCounts().cells);
}
