// The shipped sample end to end: the reference service loaded with it, its converted database
// of network 23001 in the item's BTS folder, the item on a sample cell; the detail page and the
// GPS page show the same tower.

// winsock2.h (through HttpServer.h) must come before windows.h.
#include "HttpServer.h"

#include <gtest/gtest.h>

#include <string>

#include "CellExportReader.h"
#include "GpsSettings.h"
#include "ItemHarness.h"
#include "TestSupport.h"

namespace {

// Where the sample is checked in: Wine's drive Z: is the root, and takes "/" too.
std::wstring SamplePath() {
    const std::string path = "Z:" KESTREL_CELL_SAMPLE;
    return std::wstring(path.begin(), path.end());
}

} // namespace

TEST(SampleOnPagesTest, DetailAndGpsPagesShowTheSameTower) {
    RefService service;
    ASSERT_TRUE(service.Cells().Load(SamplePath())) << service.Cells().Error();
    service.AddKey("demo@kestrel.example", "KESTREL-DEMO-2006");
    HttpServer server(service);
    ASSERT_TRUE(server.Start(0));
    const std::wstring base = L"http://127.0.0.1:" + std::to_wstring(server.Port());

    // The database as the sources page would download it.
    const std::wstring folder = TestFolder(L"kestrel_sample_db");
    HttpReply database = service.Handle("/gsmdb/23001.csv");
    ASSERT_EQ(200, database.status);
    WriteFileBytes(folder + L"23001.csv", database.body);

    // The sample's first cell of network 23001 in an LTE area.
    CellExportReader reader;
    ASSERT_TRUE(reader.Open(SamplePath()));
    CellRecord cell;
    while (reader.Next(cell) && !(cell.radio == Radio::Lte && cell.net == 1)) {
    }
    ASSERT_EQ(Radio::Lte, cell.radio);
    const std::string lac = std::to_string(cell.area);
    const std::string id = std::to_string(cell.cell);

    harness::Fixture<> f("operator \"23001\"\ncell lac=" + lac + " id=" + id +
                         " bcch=5\nequipment 2\n");
    harness::SetString(L"AppEmail", L"demo@kestrel.example");
    harness::SetString(L"AppKey", L"KESTREL-DEMO-2006");
    harness::SetString(L"WSUrl", base + L"/S/GsmQuery?keyName={APPNAME}&hash={HASH}"
                                        L"&networkCode={NC}&lac={LAC}&cellId={CELLID}");
    harness::SetDWORD(L"AutoMapAfterStart", 1);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                              (std::wstring(harness::SettingsKey) + L"\\GSMDB").c_str(), 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExW(key, L"GSMDirectory", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    f.item->ReloadSettings();
    ASSERT_TRUE(f.CreateWindowForItem());
    GpsPositionTabPage& gps = f.item->GetTabControl().GetGpsPage();
    CellDetailTabPage& detail = f.item->GetTabControl().GetDetailPage();
    f.Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(harness::PumpUntil([&] { return gps.GetLastRecord().success; }, 30000));
    f.Command(IDM_ITEM_MONITORING);

    EXPECT_EQ(L"", detail.GetStatusText());
    EXPECT_EQ(L"LTE eNB " + std::to_wstring(cell.cell >> 8) + L"/" +
                  std::to_wstring(cell.cell & 0xFF),
              detail.GetLeadingText());
    // The database writes five decimals of the position the service answers with.
    const GpsPositionResult& position = gps.GetLastRecord().result;
    EXPECT_EQ(position.latitude.substr(0, detail.GetLatitude().size()), detail.GetLatitude());
    EXPECT_EQ(position.longitude.substr(0, detail.GetLongitude().size()), detail.GetLongitude());
    EXPECT_GE(detail.GetLatitude().size(), 6u);
    EXPECT_GE(detail.GetLongitude().size(), 6u);
    GpsSettings::Instance().Invalidate();
    server.Stop();
}
