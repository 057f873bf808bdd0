// celllog2map.exe as a user runs it: logs merged in time order with their towers, times across
// changes of daylight saving time, failures that leave no file behind, and towers exactly where
// the detail page shows them.

#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CSVReader.h"
#include "CellRecord.h"
#include "CellTestData.h"
#include "TestSupport.h"

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

// Runs a program of the build with the arguments; returns its exit code, its output in output.
DWORD RunProgram(const wchar_t* program, const std::wstring& arguments, std::string& output,
                 const std::wstring& folder) {
    const std::wstring outputPath = folder + L"output.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = file;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + ProgramFolder() + program + L"\" " + arguments;
    DWORD exitCode = 999;
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(file);
    output = ReadFileBytes(outputPath);
    return exitCode;
}

DWORD Map(const std::wstring& arguments, std::string& output, const std::wstring& folder) {
    return RunProgram(L"celllog2map.exe", arguments, output, folder);
}

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

std::string Utf16(const std::wstring& text, bool byteOrderMark = true) {
    std::string bytes = byteOrderMark ? "\xFF\xFE" : "";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    return bytes;
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// The rows of a CSV file without quoted fields, header first.
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        rows.emplace_back();
        std::istringstream fields(line + ",");
        std::string field;
        while (std::getline(fields, field, ',')) {
            rows.back().push_back(field);
        }
    }
    return rows;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

enum Column {
    TimeUtc,
    TimeLocal,
    Network,
    Mcc,
    Mnc,
    Lac,
    Cell,
    Bcch,
    RadioColumn,
    Lat,
    Lon,
    Range,
    Source,
    Log,
    LogLine,
    Columns
};

} // namespace

TEST(CellLogToMapTest, OverlappingLogsMergeAndCellsWithoutTowersStay) {
    const std::wstring folder = TestFolder(L"kestrel_celllog_merge");
    CreateDirectoryW((folder + L"db").c_str(), nullptr);
    WriteFileBytes(folder + L"db\\23001.csv",
                   "1001;GSM;100;62;GSM 1001;Praha;\xB1"
                   "536\xA0m, 3 m\xECr\xEDn\xED;50.0771;"
                   "14.4512\r\n1002;LTE;100;;LTE 1002;;;50.0809;14.4510\r\n"
                   "1003;GSM;101;;;;;N/A;N/A\r\n");
    WriteFileBytes(folder + L"a.txt", Utf16(L"09.03.2008;07:05:03;100;1001;62;23001; \n"
                                            L"09.03.2008;07:06:00;100;1002;64;23001; \n"
                                            L"09.03.2008;07:07:00;100;9999;64;23001; \n"));
    // Copied off the phone later, without its byte-order mark.
    WriteFileBytes(folder + L"b.txt", Utf16(L"09.03.2008;07:06:00;100;1002;64;23001; \n"
                                            L"09.03.2008;07:07:00;100;9999;64;23001; \n"
                                            L"09.03.2008;07:08:00;101;1003;70;23001; \n"
                                            L"10.03.2008;07:00:00;100;1001;62;23001; \n",
                                            false));
    std::string output;
    ASSERT_EQ(0u, Map(L"--bts " + Quoted(folder + L"db") + L" --out " + Quoted(folder + L"drive") +
                          L" --utc-offset +01:00 " + Quoted(folder + L"b.txt") + L" " +
                          Quoted(folder + L"a.txt"),
                      output, folder))
        << output;
    EXPECT_NE(std::string::npos, output.find("2 lines held by more than one log kept once"))
        << output;
    EXPECT_NE(std::string::npos, output.find("2 cells with a tower position, 2 without (1 of"))
        << output;

    const auto rows = CsvRows(ReadFileBytes(folder + L"drive.csv"));
    ASSERT_EQ(6u, rows.size());
    EXPECT_EQ("time_utc", rows[0][TimeUtc]);
    const char* const times[] = {"2008-03-09T06:05:03Z", "2008-03-09T06:06:00Z",
                                 "2008-03-09T06:07:00Z", "2008-03-09T06:08:00Z",
                                 "2008-03-10T06:00:00Z"};
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(size_t(Columns), rows[i].size()) << i;
        EXPECT_EQ(times[i - 1], rows[i][TimeUtc]);
    }
    EXPECT_EQ((std::vector<std::string>{"2008-03-09T06:05:03Z", "2008-03-09T07:05:03+01:00",
                                        "23001", "230", "01", "100", "1001", "62", "GSM", "50.0771",
                                        "14.4512", "536", "BTS database 23001.csv", "a.txt", "1"}),
              rows[1]);
    EXPECT_EQ("LTE", rows[2][RadioColumn]);
    EXPECT_EQ("", rows[2][Range]);
    for (int missing : {3, 4}) {
        EXPECT_EQ("", rows[missing][Lat]);
        EXPECT_EQ("", rows[missing][Lon]);
        EXPECT_EQ("", rows[missing][Source]);
    }
    EXPECT_EQ("b.txt", rows[4][Log]);

    // The three stays on a known tower, the first day's path; longitude first.
    const std::string geojson = ReadFileBytes(folder + L"drive.geojson");
    EXPECT_EQ(3u, Count(geojson, "\"type\":\"Point\""));
    EXPECT_EQ(1u, Count(geojson, "\"type\":\"LineString\""));
    EXPECT_NE(std::string::npos, geojson.find("\"coordinates\":[[14.4512,50.0771],[14.4510,"
                                              "50.0809]]"));
    const std::string kml = ReadFileBytes(folder + L"drive.kml");
    EXPECT_EQ(2u, Count(kml, "<Folder>"));
    EXPECT_EQ(4u, Count(kml, "<Placemark>"));
    EXPECT_NE(std::string::npos,
              kml.find("<TimeSpan><begin>2008-03-09T06:05:03Z</begin><end>2008-03-09T06:06:00Z"
                       "</end></TimeSpan><styleUrl>#tower-GSM</styleUrl>"));
    const std::string gpx = ReadFileBytes(folder + L"drive.gpx");
    EXPECT_EQ(2u, Count(gpx, "<wpt "));
    EXPECT_EQ(2u, Count(gpx, "<trkseg>"));
    EXPECT_EQ(3u, Count(gpx, "<trkpt "));
}

TEST(CellLogToMapTest, TimesAcrossChangesOfDaylightSavingTimeComeOutInUtc) {
    const std::wstring folder = TestFolder(L"kestrel_celllog_dst");
    CreateDirectoryW((folder + L"db").c_str(), nullptr);
    WriteFileBytes(folder + L"db\\23001.csv", "1001;GSM;100;;;;;50.0771;14.4512\r\n");
    // Spring: 02:00 becomes 03:00. Autumn: 03:00 becomes 02:00, and 02:00-03:00 comes twice.
    WriteFileBytes(folder + L"log.txt", Utf16(L"30.03.2025;01:59:00;100;1001;1;23001; \n"
                                              L"30.03.2025;03:00:00;100;1002;1;23001; \n"
                                              L"26.10.2025;02:30:00;100;1003;1;23001; \n"
                                              L"26.10.2025;02:50:00;100;1004;1;23001; \n"
                                              L"26.10.2025;02:10:00;100;1005;1;23001; \n"
                                              L"26.10.2025;02:40:00;100;1006;1;23001; \n"
                                              L"26.10.2025;03:10:00;100;1007;1;23001; \n"));
    std::string output;
    ASSERT_EQ(0u,
              Map(L"--bts " + Quoted(folder + L"db") + L" --csv " + Quoted(folder + L"drive.csv") +
                      L" --zone \"Central Europe Standard Time\" " + Quoted(folder + L"log.txt"),
                  output, folder))
        << output;
    EXPECT_NE(std::string::npos, output.find("4 in the hour repeated")) << output;
    const auto rows = CsvRows(ReadFileBytes(folder + L"drive.csv"));
    ASSERT_EQ(8u, rows.size());
    const char* const expected[][2] = {{"2025-03-30T00:59:00Z", "2025-03-30T01:59:00+01:00"},
                                       {"2025-03-30T01:00:00Z", "2025-03-30T03:00:00+02:00"},
                                       {"2025-10-26T00:30:00Z", "2025-10-26T02:30:00+02:00"},
                                       {"2025-10-26T00:50:00Z", "2025-10-26T02:50:00+02:00"},
                                       {"2025-10-26T01:10:00Z", "2025-10-26T02:10:00+01:00"},
                                       {"2025-10-26T01:40:00Z", "2025-10-26T02:40:00+01:00"},
                                       {"2025-10-26T02:10:00Z", "2025-10-26T03:10:00+01:00"}};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(expected[i][0], rows[i + 1][TimeUtc]) << i;
        EXPECT_EQ(expected[i][1], rows[i + 1][TimeLocal]) << i;
    }
}

TEST(CellLogToMapTest, FailuresSayWhatAndLeaveNoFileUnderTheFinalName) {
    const std::wstring folder = TestFolder(L"kestrel_celllog_fail");
    CreateDirectoryW((folder + L"db").c_str(), nullptr);
    CreateDirectoryW((folder + L"empty").c_str(), nullptr);
    WriteFileBytes(folder + L"db\\23001.csv", "1001;GSM;100;;;;;50.0771;14.4512\r\n");
    WriteFileBytes(folder + L"empty\\unreachable-cells.csv", "network,area\n");
    WriteFileBytes(folder + L"log.txt", Utf16(L"09.03.2008;07:05:03;100;1001;62;23001; \n"));
    const std::wstring bts = L"--bts " + Quoted(folder + L"db") + L" ";
    const std::wstring log = L" " + Quoted(folder + L"log.txt");
    WriteFileBytes(folder + L"drive.kml", "old");
    const std::string gzip = Gzip(MadeUpExport(2000, 3));
    WriteFileBytes(folder + L"cut.csv.gz", gzip.substr(0, gzip.size() / 2));

    const struct {
        std::wstring arguments;
        DWORD exitCode;
        const char* message;
    } runs[] = {
        {bts + L"--out " + Quoted(folder + L"drive") + L" " + Quoted(folder + L"none.txt"), 1,
         "cannot open the log"},
        {L"--bts " + Quoted(folder + L"empty") + L" --out " + Quoted(folder + L"drive") + log, 1,
         "no BTS database"},
        {L"--bts " + Quoted(folder + L"nowhere") + L" --out " + Quoted(folder + L"drive") + log, 1,
         "no BTS database"},
        {L"--cells " + Quoted(folder + L"cut.csv.gz") + L" --out " + Quoted(folder + L"drive") +
             log,
         1, "the compressed data ends early; nothing written"},
        // The KML is complete, the GPX cannot be written: neither takes its name.
        {bts + L"--kml " + Quoted(folder + L"drive.kml") + L" --gpx " +
             Quoted(folder + L"missing\\drive.gpx") + log,
         1, "cannot write"},
        {bts + L"--gpx " + Quoted(folder + L"db") + log, 1, "cannot write"},
        {bts + L"--cells " + Quoted(folder + L"cut.csv.gz") + L" --out x" + log, 2, "usage:"},
        {bts + L"--utc-offset 1h --out x" + log, 2, "--utc-offset takes"},
        {bts + L"--zone Mars --out x" + log, 2, "no time zone \"Mars\""},
    };
    for (const auto& run : runs) {
        std::string output;
        EXPECT_EQ(run.exitCode, Map(run.arguments, output, folder)) << output;
        EXPECT_NE(std::string::npos, output.find(run.message)) << output;
        EXPECT_EQ("old", ReadFileBytes(folder + L"drive.kml"));
        for (const wchar_t* name : {L"drive.kml.part", L"drive.gpx", L"drive.gpx.part",
                                    L"drive.geojson", L"drive.csv", L"db.part", L"x.kml"}) {
            EXPECT_FALSE(Exists(folder + name)) << name;
        }
    }
}

TEST(CellLogToMapTest, TowersStandWhereTheDetailPageShowsThem) {
    const std::wstring folder = TestFolder(L"kestrel_celllog_round_trip");
    const std::string text = MadeUpExport(4000, 11);
    WriteFileBytes(folder + L"cells.csv.gz", Gzip(text));
    std::string output;
    ASSERT_EQ(
        0u, RunProgram(L"cells2btsdb.exe",
                       L"--out " + Quoted(folder + L"db") + L" " + Quoted(folder + L"cells.csv.gz"),
                       output, folder))
        << output;
    std::set<std::string> unreachable;
    for (const auto& row : CsvRows(ReadFileBytes(folder + L"db\\unreachable-cells.csv"))) {
        unreachable.insert(row[0] + ";" + row[1] + ";" + row[2]);
    }
    // A walk through the first 300 cells of the export, a minute each.
    std::wstring log;
    const auto exportRows = CsvRows(text);
    for (size_t i = 1; i <= 300; ++i) {
        const auto& row = exportRows[i];
        const std::string network = NetworkId(static_cast<uint16_t>(std::stoi(row[1])),
                                              static_cast<uint16_t>(std::stoi(row[2])));
        char line[96];
        std::snprintf(line, sizeof line, "01.06.2026;%02zu:%02zu:00;%s;%s;1;%s; \n", 8 + i / 60,
                      i % 60, row[3].c_str(), row[4].c_str(), network.c_str());
        log += Wide(line);
    }
    WriteFileBytes(folder + L"log.txt", Utf16(log));
    ASSERT_EQ(0u, Map(L"--bts " + Quoted(folder + L"db") + L" --csv " +
                          Quoted(folder + L"bts.csv") + L" " + Quoted(folder + L"log.txt"),
                      output, folder))
        << output;
    ASSERT_EQ(0u, Map(L"--cells " + Quoted(folder + L"cells.csv.gz") + L" --csv " +
                          Quoted(folder + L"cells.csv") + L" " + Quoted(folder + L"log.txt"),
                      output, folder))
        << output;
    const auto fromDatabases = CsvRows(ReadFileBytes(folder + L"bts.csv"));
    const auto fromExport = CsvRows(ReadFileBytes(folder + L"cells.csv"));
    ASSERT_EQ(301u, fromDatabases.size());
    ASSERT_EQ(301u, fromExport.size());
    CSVReader detailPage(folder + L"db\\");
    size_t compared = 0;
    for (size_t i = 1; i < fromDatabases.size(); ++i) {
        const auto& row = fromDatabases[i];
        BtsRecord shown =
            detailPage.GetExtendedInformation(Wide(row[Lac]), Wide(row[Cell]), Wide(row[Network]));
        ASSERT_EQ(0u, shown.count(kBtsStatusKey)) << i;
        EXPECT_EQ(shown[8], Wide(row[Lat])) << i;
        EXPECT_EQ(shown[9], Wide(row[Lon])) << i;
        // The export's own position, of which the database keeps five decimals.
        const auto& exported = fromExport[i];
        if (!unreachable.count(row[Network] + ";" + row[Lac] + ";" + row[Cell])) {
            EXPECT_EQ(0u, exported[Lat].find(row[Lat])) << exported[Lat] << " " << row[Lat];
            EXPECT_EQ(0u, exported[Lon].find(row[Lon])) << exported[Lon] << " " << row[Lon];
            EXPECT_EQ(exported[RadioColumn], row[RadioColumn]) << i;
            ++compared;
        }
    }
    EXPECT_GT(compared, 250u);
}
