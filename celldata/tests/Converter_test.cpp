// cells2btsdb.exe as a user runs it: several exports, plain and gzip, into one database per
// network; the same databases whether the cells fit in memory or go through temporary runs.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "CellTestData.h"
#include "TestSupport.h"

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

// Runs the converter with the arguments in the folder; returns its exit code, its output in
// output.
DWORD Convert(const std::wstring& arguments, std::string& output, const std::wstring& folder) {
    const std::wstring outputPath = folder + L"output.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = file;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + ProgramFolder() + L"cells2btsdb.exe\" " + arguments;
    DWORD exitCode = 999;
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(file);
    output = ReadFileBytes(outputPath);
    return exitCode;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

const wchar_t* const kWritten[] = {L"23001.csv", L"23003.csv", L"310410.csv",
                                   L"unreachable-cells.csv"};

// The databases and the report the converter wrote to the folder.
std::string Written(const std::wstring& folder) {
    std::string all;
    for (const wchar_t* name : kWritten) {
        all += ReadFileBytes(folder + name) + "\n--\n";
    }
    return all;
}

// Removes what an earlier run wrote to the folder, and the folder.
void RemoveWritten(const std::wstring& folder) {
    for (const wchar_t* name : kWritten) {
        DeleteFileW((folder + L"\\" + name).c_str());
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

TEST(ConverterTest, ExportsToOneDatabasePerNetwork) {
    const std::wstring folder = TestFolder(L"kestrel_converter");
    const std::string text = MadeUpExport(60000, 7);
    // The header and the first 30000 lines, then the rest.
    size_t half = 0;
    for (int line = 0; line <= 30000; ++line) {
        half = text.find('\n', half) + 1;
    }
    WriteFileBytes(folder + L"part1.csv", text.substr(0, half) + "GSM,230,1,oops\n");
    WriteFileBytes(folder + L"part2.csv.gz", Gzip(text.substr(half)));
    const std::wstring inputs = L" \"" + folder + L"part1.csv\" \"" + folder + L"part2.csv.gz\"";

    std::string output;
    ASSERT_EQ(0u, Convert(L"--out \"" + folder + L"big\"" + inputs, output, folder)) << output;
    EXPECT_NE(std::string::npos, output.find("30002 lines, 30000 cells, 1 malformed")) << output;
    EXPECT_NE(std::string::npos, output.find(", 0 temporary runs")) << output;
    // One megabyte holds some 20000 cells: the cells go through temporary runs.
    ASSERT_EQ(0u, Convert(L"--memory 1 --out \"" + folder + L"small\" --report \"" + folder +
                              L"lost.csv\"" + inputs,
                          output, folder))
        << output;
    EXPECT_NE(std::string::npos, output.find("3 networks, ")) << output;
    EXPECT_NE(std::string::npos, output.find(", 3 temporary runs")) << output;

    for (const wchar_t* name : {L"23001.csv", L"23003.csv", L"310410.csv"}) {
        const std::string big = ReadFileBytes(folder + L"big\\" + name);
        EXPECT_GT(big.size(), 100000u) << name;
        EXPECT_EQ(big, ReadFileBytes(folder + L"small\\" + name)) << name;
        EXPECT_FALSE(Exists(folder + L"big\\" + name + L".part"));
    }
    const std::string report = ReadFileBytes(folder + L"lost.csv");
    EXPECT_EQ(report, ReadFileBytes(folder + L"big\\unreachable-cells.csv"));
    EXPECT_EQ(0u, report.find("network,area,cell,radio,found_cell,found_radio,where\n"));
}

TEST(ConverterTest, DamagedInputWritesNothing) {
    const std::wstring folder = TestFolder(L"kestrel_converter_damaged");
    std::string gzip = Gzip(MadeUpExport(100, 3));
    WriteFileBytes(folder + L"cut.gz", gzip.substr(0, gzip.size() / 2));
    std::string output;
    EXPECT_EQ(1u,
              Convert(L"--out \"" + folder + L"out\" \"" + folder + L"cut.gz\"", output, folder));
    EXPECT_NE(std::string::npos, output.find("the compressed data ends early; nothing written"))
        << output;
    EXPECT_FALSE(Exists(folder + L"out\\23001.csv"));
    // Damage found while the lines before it are parsed (the text is read ahead).
    gzip = Gzip(MadeUpExport(200000, 3));
    WriteFileBytes(folder + L"cut-late.gz", gzip.substr(0, gzip.size() * 3 / 4));
    EXPECT_EQ(1u, Convert(L"--out \"" + folder + L"out\" \"" + folder + L"cut-late.gz\"", output,
                          folder));
    EXPECT_NE(std::string::npos, output.find("the compressed data ends early; nothing written"))
        << output;
    EXPECT_FALSE(Exists(folder + L"out\\23001.csv"));

    EXPECT_EQ(1u, Convert(L"--out \"" + folder + L"out\" \"" + folder + L"missing.csv\"", output,
                          folder));
    EXPECT_NE(std::string::npos, output.find("cannot open")) << output;
    EXPECT_EQ(2u, Convert(L"\"" + folder + L"cut.gz\"", output, folder));
    EXPECT_NE(std::string::npos, output.find("usage: cells2btsdb")) << output;
}

TEST(ConverterTest, RelativeOutputFolderIsCreated) {
    const std::wstring folder = TestFolder(L"kestrel_converter_relative");
    WriteFileBytes(folder + L"cells.csv", MadeUpExport(100, 3));
    RemoveWritten(folder + L"db");
    RemoveWritten(folder + L"a\\b\\c");
    RemoveDirectoryW((folder + L"a\\b").c_str());
    RemoveDirectoryW((folder + L"a").c_str());
    ASSERT_FALSE(Exists(folder + L"db") || Exists(folder + L"a"));
    std::string output;
    ASSERT_EQ(0u, Convert(L"--out db cells.csv", output, folder)) << output;
    EXPECT_TRUE(Exists(folder + L"db\\23001.csv"));
    ASSERT_EQ(0u, Convert(L"--out a\\b\\c cells.csv", output, folder)) << output;
    EXPECT_TRUE(Exists(folder + L"a\\b\\c\\23001.csv"));
}

// An export given many times (as a careless merge of exports repeats lines) converts as if
// given once, in the memory of the distinct cells: repeated lines merge as they come, here
// with no temporary run at all. A cell that shares its key with one of another radio is
// listed once, with the cell kept.
TEST(ConverterTest, RepeatedLinesAreMergedAsTheyCome) {
    const std::wstring folder = TestFolder(L"kestrel_converter_repeated");
    const std::string sameKey = "GSM,230,1,37,5,0,14.1,50.1,800,12,1,0,1600000000,0\n"
                                "UMTS,230,1,37,5,0,14.2,50.2,800,12,1,0,1500000000,0\n";
    WriteFileBytes(folder + L"few.csv", MadeUpExport(3000, 11) + sameKey);
    WriteFileBytes(folder + L"many.csv", MadeUpExport(30000, 12) + sameKey);
    std::wstring few20, many2;
    for (int i = 0; i < 20; ++i) {
        few20 += L" few.csv";
    }
    for (int i = 0; i < 2; ++i) {
        many2 += L" many.csv";
    }
    std::string output;
    ASSERT_EQ(0u, Convert(L"--out once few.csv", output, folder)) << output;
    ASSERT_EQ(0u, Convert(L"--memory 1 --out repeated" + few20, output, folder)) << output;
    EXPECT_NE(std::string::npos, output.find(", 0 temporary runs")) << output;
    EXPECT_TRUE(Written(folder + L"once\\") == Written(folder + L"repeated\\"));
    const std::string report = ReadFileBytes(folder + L"repeated\\unreachable-cells.csv");
    const char kLost[] = "23001,37,5,UMTS,5,GSM,same key\n";
    EXPECT_NE(std::string::npos, report.find(kLost)) << report;
    EXPECT_EQ(report.find(kLost), report.rfind(kLost)) << report;

    // Too many distinct cells for the memory: the repeats meet in different runs.
    ASSERT_EQ(0u, Convert(L"--out once many.csv", output, folder)) << output;
    ASSERT_EQ(0u, Convert(L"--memory 1 --out repeated" + many2, output, folder)) << output;
    EXPECT_EQ(std::string::npos, output.find(", 0 temporary runs")) << output;
    EXPECT_TRUE(Written(folder + L"once\\") == Written(folder + L"repeated\\"));
}
