#include "CSVReader.h"
#include "BtsTestFiles.h"

#include <gtest/gtest.h>

namespace {

class CSVReaderTest : public ::testing::Test {
protected:
    void SetUp() override { folder = TestFolder(L"BtsDbTest"); }
    void TearDown() override { DeleteFileW((folder + L"23001.csv").c_str()); }

    // The database of network 23001 with the given bytes, looked up for lac and cell.
    BtsRecord Lookup(const std::string& bytes, const std::wstring& lac, const std::wstring& cell) {
        WriteBytes(folder + L"23001.csv", bytes);
        CSVReader reader(folder);
        return reader.GetExtendedInformation(lac, cell, L"23001");
    }

    std::wstring folder;
};

BtsRecord Status(const wchar_t* text) {
    return BtsRecord{{kBtsStatusKey, text}};
}

TEST_F(CSVReaderTest, ReadsTheFileNamedAfterTheNetworkInTheDirectoryAsGiven) {
    WriteBytes(folder + L"12345.csv", "a;b;100;55;in folder\r\n");
    WriteBytes(L"\\BtsDbTest12345.csv", "a;b;100;55;glued\r\n");

    CSVReader reader(L"\\BtsDbTest\\");
    EXPECT_EQ(L"in folder", reader.GetExtendedInformation(L"100", L"55", L"12345")[5]);
    reader.SetDirectory(L"\\BtsDbTest");
    EXPECT_EQ(L"glued", reader.GetExtendedInformation(L"100", L"55", L"12345")[5]);
    EXPECT_EQ(Status(L"N/A"), reader.GetExtendedInformation(L"100", L"55", L"54321"));

    // Every lookup releases the file: it can be replaced right afterwards.
    EXPECT_TRUE(DeleteFileW(L"\\BtsDbTest12345.csv"));
    EXPECT_TRUE(DeleteFileW((folder + L"12345.csv").c_str()));
}

TEST_F(CSVReaderTest, FoundLineFillsKeysOneToNineAndElevenWithNotAvailableForMissingFields) {
    const BtsRecord expected{{1, L"x"}, {2, L"y"}, {3, L"100"},  {4, L"55"},   {5, L"A"},
                             {6, L"B"}, {7, L"C"}, {8, L"49.1"}, {9, L"16.2"}, {11, L"N/A"}};
    EXPECT_EQ(expected, Lookup("x;y;100;55;A;B;C;49.1;16.2\r\n", L"100", L"55"));

    BtsRecord record = Lookup("1;2;100;55;5;6;7;8;9;ten;eleven;12\r\n", L"100", L"55");
    EXPECT_EQ(L"ten", record[11]);
    EXPECT_EQ(0u, record.count(kBtsStatusKey));
    EXPECT_EQ(10u, record.size());

    // Empty fields, the empty field after a trailing ";" and the fields a line lacks.
    record = Lookup("x;;100;55;;B;C;49.1;\r\n", L"100", L"55");
    EXPECT_EQ(L"N/A", record[2]);
    EXPECT_EQ(L"N/A", record[5]);
    EXPECT_EQ(L"49.1", record[8]);
    EXPECT_EQ(L"N/A", record[9]);
    EXPECT_EQ(L"N/A", record[11]);
    EXPECT_EQ(L"N/A", Lookup("x;y;100;55\r\n", L"100", L"55")[5]);
}

TEST_F(CSVReaderTest, LineMatchesByCellTextAnywhereAndTheExactLac) {
    // The cell id may occur in any field, even inside the LAC itself.
    const std::string db = "a;b;999;23;wrong lac\r\n"
                           "p;q;1234;7;lac contains the cell\r\n";
    EXPECT_EQ(L"lac contains the cell", Lookup(db, L"1234", L"23")[5]);

    EXPECT_EQ(Status(L"Data nenalezena"), Lookup("x;y;0100;55;A\r\n", L"100", L"55"));
    EXPECT_EQ(Status(L"Data nenalezena"), Lookup("x;y;100;55;A\r\n", L"101", L"55"));
    EXPECT_EQ(Status(L"Data nenalezena"), Lookup("x;y;100;55;A\r\n", L"100", L"56"));
    // Case-sensitive, whole field.
    EXPECT_EQ(Status(L"Data nenalezena"), Lookup("x;y;AB;c55;A\r\n", L"ab", L"55"));
    EXPECT_EQ(Status(L"Data nenalezena"), Lookup("x;y;100 ;55;A\r\n", L"100", L"55"));
}

TEST_F(CSVReaderTest, EarlierLineWinsAndAShortFirstLineEndsTheSearch) {
    EXPECT_EQ(L"first", Lookup("x;y;100;55;first\r\nx;y;100;55;second\r\n", L"100", L"55")[5]);
    EXPECT_EQ(Status(L"Data nenalezena"),
              Lookup("header;55\r\nx;y;100;55;later\r\n", L"100", L"55"));
    // A line with three fields is examined and passed over.
    EXPECT_EQ(L"later", Lookup("h;55;9\r\nx;y;100;55;later\r\n", L"100", L"55")[5]);
}

TEST_F(CSVReaderTest, MissingEmptyOrLockedFileReadsNotAvailable) {
    CSVReader reader(folder);
    EXPECT_EQ(Status(L"N/A"), reader.GetExtendedInformation(L"100", L"55", L"99999"));
    EXPECT_EQ(Status(L"N/A"), Lookup("", L"100", L"55"));

    WriteBytes(folder + L"23001.csv", "x;y;100;55;A\r\n");
    HANDLE writer = CreateFileW((folder + L"23001.csv").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(Status(L"N/A"), reader.GetExtendedInformation(L"100", L"55", L"23001"));
    CloseHandle(writer);
    EXPECT_EQ(L"A", reader.GetExtendedInformation(L"100", L"55", L"23001")[5]);
}

TEST_F(CSVReaderTest, ConvertsWindows1250Text) {
    ASSERT_EQ(1250u, GetACP()) << "the tests need the Czech ANSI code page";
    // "Žďár nad Sázavou;Třebíč" in Windows-1250.
    const std::string db = "x;y;100;55;A;\x8E\xEF\xE1r nad S\xE1zavou;T\xF8"
                           "eb\xED\xE8;49.1;16.2\r\n";
    BtsRecord record = Lookup(db, L"100", L"55");
    EXPECT_EQ(L"Žďár nad Sázavou", record[6]);
    EXPECT_EQ(L"Třebíč", record[7]);

    // A LAC with a Czech letter is compared as text; a cell id the code page cannot hold
    // is in no database.
    EXPECT_EQ(L"B", Lookup("x;y;\xC8"
                           "1;55;B\r\n",
                           L"Č1", L"55")[5]);
    EXPECT_EQ(Status(L"Data nenalezena"), Lookup("x;y;100;?;B\r\n", L"100", L"中"));
}

TEST_F(CSVReaderTest, LinesEndAtCrOrLf) {
    const std::string lf = "a;b;100;1;other\nx;y;100;55;A;B;C;49.1;16.2\nz;z;100;7;next\n";
    BtsRecord record = Lookup(lf, L"100", L"55");
    EXPECT_EQ(L"16.2", record[9]);
    EXPECT_EQ(L"N/A", record[11]);
    EXPECT_EQ(L"next", Lookup(lf, L"100", L"7")[5]);

    std::string crlf = "a;b;100;1;other\r\nx;y;100;55;A;B;C;49.1;16.2\r\nz;z;100;7;next\r\n";
    EXPECT_EQ(record, Lookup(crlf, L"100", L"55"));
    // The last line needs no line end; a cell matching only a later line is found there.
    EXPECT_EQ(L"last", Lookup("x;y;7;55;A\r\nx;y;100;55;last", L"100", L"55")[5]);
}

TEST_F(CSVReaderTest, EmptyCellIdOrTextAfterANulByteFindsNothing) {
    EXPECT_EQ(Status(L"Data nenalezena"), Lookup("x;y;100;55;A\r\n", L"100", L""));
    const char withNul[] = "x;y;100;1;A\r\n\0x;y;100;55;A\r\n";
    EXPECT_EQ(Status(L"Data nenalezena"),
              Lookup(std::string(withNul, sizeof withNul - 1), L"100", L"55"));
}

} // namespace
