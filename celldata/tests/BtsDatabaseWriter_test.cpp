// What a converted BTS database line holds, and which cell of the same key is kept.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BtsDatabaseWriter.h"
#include "CellExportReader.h"

namespace {

std::vector<CellRecord> Read(CellExportReader& reader, const std::string& text) {
    reader.OpenText(text);
    std::vector<CellRecord> cells;
    CellRecord cell;
    while (reader.Next(cell)) {
        cells.push_back(cell);
    }
    return cells;
}

std::string Convert(CellExportReader& reader, std::vector<CellRecord> cells) {
    SortCells(cells);
    cells.resize(MergeDuplicates(cells.data(), cells.size(), nullptr));
    BtsDatabaseWriter writer(reader.Districts());
    std::string out;
    std::vector<UnreachableCell> unreachable;
    writer.AppendNetwork(cells.data(), cells.size(), out, unreachable);
    EXPECT_TRUE(unreachable.empty());
    return out;
}

} // namespace

// Fields: 1 cell id, 2 radio, 3 area, 4 channel, 5 radio and cell, 6 district, 7 accuracy and
// last update, 8 and 9 coordinates; Windows-1250, CR LF.
TEST(BtsDatabaseWriterTest, FieldsOfTheLines) {
    CellExportReader reader;
    std::string out = Convert(
        reader,
        Read(reader, "radio,mcc,net,area,cell,lon,lat,range,samples,updated,arfcn,district\n"
                     "GSM,230,1,100,1001,14.421254,50.087465,800,12,1600000000,,\n"
                     "LTE,230,1,300,26283273,14.4,50.1,,,,6300,Praha 5\n"
                     "UMTS,230,1,200,12345678,-0.1234567,51.5,15000,1,0,,\xC3\x9Ast\xC3\xAD\n"
                     "UMTS,230,1,200,4242,16,49,,,,,\n"));
    EXPECT_EQ("1001;GSM;100;;GSM 1001;;\xB1"
              "800\xA0m, 12\xA0m\xEC\xF8"
              "en\xED, 13.9.2020;50.08746;14.42125\r\n"
              "4242;UMTS;200;;UMTS 4242;;;49;16\r\n"
              "12345678;UMTS;200;;UMTS RNC 188 CID 24910;\xDAst\xED;\xB1"
              "15000\xA0m, 1\xA0m\xEC\xF8"
              "en\xED, 1.1.1970;51.5;-0.12345\r\n"
              "26283273;LTE;300;6300;LTE eNB 102669/9;Praha 5;;50.1;14.4\r\n",
              out);
}

TEST(BtsDatabaseWriterTest, NetworkIds) {
    EXPECT_EQ("23001", NetworkId(230, 1));
    EXPECT_EQ("23099", NetworkId(230, 99));
    EXPECT_EQ("310410", NetworkId(310, 410));
    EXPECT_EQ("00101", NetworkId(1, 1));
    uint16_t mcc = 0, net = 0;
    EXPECT_TRUE(ParseNetworkId("310410", mcc, net));
    EXPECT_EQ(310, mcc);
    EXPECT_EQ(410, net);
    EXPECT_TRUE(ParseNetworkId("23001", mcc, net));
    EXPECT_EQ(1, net);
    EXPECT_FALSE(ParseNetworkId("230001", mcc, net));
    EXPECT_FALSE(ParseNetworkId("2300", mcc, net));
    EXPECT_FALSE(ParseNetworkId("23a01", mcc, net));
}

// Of the lines with the same network, area and cell id the latest update is kept (then the
// most samples); one of another radio is a different cell the reader cannot tell apart.
TEST(BtsDatabaseWriterTest, DuplicateKeys) {
    CellExportReader reader;
    std::vector<CellRecord> cells =
        Read(reader, "GSM,230,1,100,1001,0,14.1,50.1,800,12,1,0,1500000000,0\n"
                     "GSM,230,1,100,1001,0,14.2,50.2,800,12,1,0,1600000000,0\n"
                     "UMTS,230,1,100,1001,0,14.3,50.3,800,99,1,0,1,0\n"
                     "GSM,230,1,100,1001,0,14.4,50.4,800,40,1,0,1600000000,0\n"
                     "GSM,230,2,100,1001,0,14.5,50.5,800,1,1,0,0,0\n");
    SortCells(cells);
    std::vector<CellRecord> conflicts;
    ASSERT_EQ(2u, MergeDuplicates(cells.data(), cells.size(), &conflicts));
    EXPECT_EQ("50.4", CoordinateText(cells[0].lat, cells[0].latDecimals));
    EXPECT_EQ(2, cells[1].net);
    ASSERT_EQ(1u, conflicts.size());
    EXPECT_EQ(Radio::Umts, conflicts[0].radio);
}
