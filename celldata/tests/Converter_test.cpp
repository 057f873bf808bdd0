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

// Runs the converter with the arguments; returns its exit code, its output in output.
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

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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
