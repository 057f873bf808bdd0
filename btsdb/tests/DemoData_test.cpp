#include "CSVReader.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::wstring DemoFolder() {
    const std::string unixPath = KESTREL_DEMO_GSMDB;
    std::wstring folder = L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    return folder;
}

// The demo walks network 23001 through LACs 100 to 102 and cells 1001 to 1006, then network
// 23003, which has no database.
TEST(DemoDataTest, DatabaseCoversTheDemoWalk) {
    ASSERT_EQ(1250u, GetACP()) << "the tests need the Czech ANSI code page";
    CSVReader reader(DemoFolder());
    for (const wchar_t* lac : {L"100", L"101", L"102"}) {
        for (const wchar_t* cell : {L"1001", L"1002", L"1003", L"1004", L"1005"}) {
            BtsRecord record = reader.GetExtendedInformation(lac, cell, L"23001");
            EXPECT_EQ(0u, record.count(kBtsStatusKey)) << lac << " " << cell;
            EXPECT_EQ(cell, record[1]);
            EXPECT_EQ(lac, record[3]);
        }
        EXPECT_EQ(L"Data nenalezena",
                  reader.GetExtendedInformation(lac, L"1006", L"23001")[kBtsStatusKey]);
    }
    EXPECT_EQ(L"Žďár nad Sázavou", reader.GetExtendedInformation(L"101", L"1004", L"23001")[6]);
    EXPECT_EQ(L"N/A", reader.GetExtendedInformation(L"100", L"1001", L"23003")[kBtsStatusKey]);
    EXPECT_EQ(L"N/A", reader.GetExtendedInformation(L"100", L"1001", L"-----")[kBtsStatusKey]);
}

} // namespace
