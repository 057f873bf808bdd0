// Cells from several export files, loaded together.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "CellDatabase.h"

namespace {

std::wstring WriteExport(const wchar_t* name, const std::string& lines) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + name;
    const std::string text = "radio,mcc,net,area,cell,unit,lon,lat,range,samples,changeable,"
                             "created,updated,averageSignal\n" +
                             lines;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

std::string Lat(const CellDatabase& cells, uint64_t cell) {
    CellDatabase::Position position;
    return cells.Find("23001", 100, cell, position) ? position.lat : "none";
}

} // namespace

// Of a cell in two files the later update is kept, whichever file comes first; a file that
// cannot be read stops the load and keeps what came before it.
TEST(CellFiles, SeveralFilesLoadAsOne) {
    const std::wstring older =
        WriteExport(L"refservice_older.csv", "GSM,230,1,100,1,0,14.1,50.1,800,5,1,0,1000,0\n"
                                             "GSM,230,1,100,2,0,14.2,50.2,800,5,1,0,1000,0\n");
    const std::wstring newer =
        WriteExport(L"refservice_newer.csv", "GSM,230,1,100,1,0,14.9,50.9,800,5,1,0,2000,0\n"
                                             "GSM,230,1,100,3,0,14.3,50.3,800,5,1,0,1000,0\n");
    for (const auto& order : {std::vector<std::wstring>{older, newer}, {newer, older}}) {
        CellDatabase cells;
        ASSERT_TRUE(cells.Load(order));
        EXPECT_EQ(3u, cells.Size());
        EXPECT_EQ("50.9", Lat(cells, 1));
        EXPECT_EQ("50.2", Lat(cells, 2));
        EXPECT_EQ("50.3", Lat(cells, 3));
    }
    CellDatabase cells;
    EXPECT_FALSE(cells.Load({older, L"Z:\\nonexistent\\refservice.csv", newer}));
    EXPECT_FALSE(cells.Error().empty());
    EXPECT_EQ("50.1", Lat(cells, 1));
    EXPECT_EQ("none", Lat(cells, 3));
    DeleteFileW(older.c_str());
    DeleteFileW(newer.c_str());
}
