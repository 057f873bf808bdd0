// Every converted cell is found on its own line by the real BTS reader, also where cell ids
// occur inside other ids, areas, coordinates and dates of the same area; the cells that cannot
// be are exactly the ones reported, with the line the reader finds instead.

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "BtsDatabaseWriter.h"
#include "CSVReader.h"
#include "TestSupport.h"

namespace {

CellRecord MakeCell(Radio radio, uint32_t area, uint64_t id, double lat, double lon) {
    CellRecord cell = {};
    cell.radio = radio;
    cell.mcc = 230;
    cell.net = 1;
    cell.area = area;
    cell.cell = id;
    cell.lat = static_cast<int32_t>(lat * 1e7 + (lat < 0 ? -0.5 : 0.5));
    cell.lon = static_cast<int32_t>(lon * 1e7 + (lon < 0 ? -0.5 : 0.5));
    cell.latDecimals = cell.lonDecimals = 7;
    cell.range = cell.samples = cell.updated = cell.channel = kNoValue;
    return cell;
}

struct Conversion {
    std::vector<CellRecord> cells;
    std::vector<UnreachableCell> unreachable;
};

// Converts one network's cells into folder\23001.csv.
Conversion Convert(std::vector<CellRecord> cells, const std::wstring& folder) {
    static const std::vector<std::string> districts = {"", "Praha 10", "\x8E\xEF\xE1r 2"};
    Conversion result;
    SortCells(cells);
    cells.resize(MergeDuplicates(cells.data(), cells.size(), nullptr));
    BtsDatabaseWriter writer(districts);
    std::string bytes;
    writer.AppendNetwork(cells.data(), cells.size(), bytes, result.unreachable);
    WriteFileBytes(folder + L"23001.csv", bytes);
    result.cells = cells;
    return result;
}

// Looks every cell up with the reader's search over the database file: each is found on its
// own line unless it is reported, and a reported one on the line the report names.
void ExpectOwnLines(const Conversion& conversion, const std::wstring& folder) {
    ASSERT_EQ(1250u, GetACP()) << "the tests need the Czech ANSI code page";
    const std::string database = ReadFileBytes(folder + L"23001.csv");
    std::map<std::pair<uint32_t, uint64_t>, uint64_t> reported;
    for (const UnreachableCell& lost : conversion.unreachable) {
        reported[{lost.cell.area, lost.cell.cell}] = lost.found.cell;
    }
    ASSERT_EQ(conversion.unreachable.size(), reported.size()) << "a cell reported twice";
    for (const CellRecord& cell : conversion.cells) {
        const std::wstring area = std::to_wstring(cell.area);
        const std::wstring id = std::to_wstring(cell.cell);
        std::vector<std::wstring> fields;
        ASSERT_TRUE(CSVReader::FindCellLine(database.data(), database.size(), area, id, fields))
            << area << " " << id;
        auto lost = reported.find({cell.area, cell.cell});
        EXPECT_EQ(lost == reported.end() ? id : std::to_wstring(lost->second), fields[0])
            << "area " << area;
    }
}

} // namespace

// Ids inside ids, inside the area, inside coordinates and dates, and two cycles that only
// shortened texts break: the one cell lost is the one no order can save.
TEST(OwnLineTest, CollidingIdsInOneArea) {
    const std::wstring folder = TestFolder(L"kestrel_own_line_a");
    std::vector<CellRecord> cells;
    // "1" and "10" both occur in every line of area 100: one of them is lost.
    cells.push_back(MakeCell(Radio::Gsm, 100, 1, 49.2, 16.6));
    cells.push_back(MakeCell(Radio::Gsm, 100, 10, 49.2, 16.6));
    // A chain of ids inside ids.
    for (uint64_t id : {5u, 45u, 345u, 2345u, 12345u, 23u, 234u, 1234u}) {
        cells.push_back(MakeCell(Radio::Gsm, 100, id, 49.7, 16.8));
    }
    // 8333 and 4711 each hold the other's id in their last decimals: a cycle that cutting a
    // coordinate breaks.
    cells.push_back(MakeCell(Radio::Gsm, 100, 8333, 49.2, 16.04711));
    cells.push_back(MakeCell(Radio::Gsm, 100, 4711, 49.08333, 16.6));
    // 2019 was last updated in 2020 and 2020 in 2019: a cycle that dropping a date breaks.
    cells.push_back(MakeCell(Radio::Gsm, 100, 2019, 49.2, 16.6));
    cells.back().updated = 1600000000; // 13.9.2020
    cells.push_back(MakeCell(Radio::Gsm, 100, 2020, 49.2, 16.6));
    cells.back().updated = 1560000000; // 8.6.2019
    // Range, samples and channel hold ids too.
    cells.push_back(MakeCell(Radio::Gsm, 100, 850, 49.2, 16.6));
    cells.back().range = 2345;
    cells.push_back(MakeCell(Radio::Gsm, 100, 2346, 49.2, 16.6));
    cells.back().samples = 850;
    cells.back().channel = 345;
    // An LTE cell whose eNB holds an id: 26283273 is eNB 102669, sector 9.
    cells.push_back(MakeCell(Radio::Lte, 100, 26283273, 49.2, 16.6));
    cells.push_back(MakeCell(Radio::Gsm, 100, 2669, 49.2, 16.6));
    // The same ids in another area collide with nothing there.
    cells.push_back(MakeCell(Radio::Gsm, 7, 1, 49.2, 16.6));
    cells.push_back(MakeCell(Radio::Gsm, 7, 12345, 49.2, 16.6));

    Conversion conversion = Convert(cells, folder);
    ASSERT_EQ(1u, conversion.unreachable.size());
    const UnreachableCell& lost = conversion.unreachable[0];
    EXPECT_EQ(100u, lost.cell.area);
    EXPECT_TRUE(lost.cell.cell == 1 || lost.cell.cell == 10) << lost.cell.cell;
    EXPECT_STREQ("area", lost.where);
    ExpectOwnLines(conversion, folder);

    // What could stay did: the full texts of a line that needed no shortening.
    BtsRecord record = CSVReader(folder).GetExtendedInformation(L"100", L"2019", L"23001");
    EXPECT_EQ(L"49.20000", record[8]);
}

// Many areas of random short ids, so that almost every id occurs in other lines; texts in
// Windows-1250 through the reader.
TEST(OwnLineTest, RandomAreasFullOfCollisions) {
    const std::wstring folder = TestFolder(L"kestrel_own_line_b");
    std::mt19937 random(16);
    auto uniform = [&random](uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(random);
    };
    std::vector<CellRecord> cells;
    for (int i = 0; i < 6000; ++i) {
        const uint32_t area = uniform(1, 12) * 101;
        const uint32_t kind = uniform(0, 9);
        uint64_t id;
        Radio radio = Radio::Gsm;
        if (kind < 6) {
            id = uniform(1, kind < 2 ? 99 : 9999);
        } else if (kind < 8) {
            radio = Radio::Umts;
            id = uint64_t(uniform(1, 300)) * 65536 + uniform(1, 999);
        } else {
            radio = Radio::Lte;
            id = uint64_t(uniform(1, 99999)) * 256 + uniform(1, 3);
        }
        CellRecord cell = MakeCell(radio, area, id, 49 + uniform(0, 9999999) / 1e7,
                                   16 + uniform(0, 9999999) / 1e7);
        cell.updated = 1400000000 + uniform(0, 300000000);
        cell.range = uniform(100, 9999);
        cell.samples = uniform(1, 999);
        cell.channel = uniform(0, 3) ? kNoValue : uniform(1, 1023);
        cell.district = uniform(0, 2);
        cells.push_back(cell);
    }
    Conversion conversion = Convert(cells, folder);
    // Only texts that must stay whole can hide an id: the cell id, the area, the first
    // decimals of a coordinate.
    for (const UnreachableCell& lost : conversion.unreachable) {
        const std::string where = lost.where;
        EXPECT_TRUE(where == "cell id" || where == "area" || where == "latitude" ||
                    where == "longitude")
            << where;
    }
    EXPECT_LT(conversion.unreachable.size(), conversion.cells.size() / 10);
    ExpectOwnLines(conversion, folder);

    BtsRecord record = CSVReader(folder).GetExtendedInformation(
        std::to_wstring(conversion.cells[0].area), std::to_wstring(conversion.cells[0].cell),
        L"23001");
    EXPECT_NE(std::wstring::npos, record[7].find(L"\u00A0měření")) << record[7];
}
