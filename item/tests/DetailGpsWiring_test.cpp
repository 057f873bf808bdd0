// The detail and GPS pages inside the item: settings, the cell handler, command 40016 and
// message 1025, down to a position from the reference service.

// winsock2.h (through RecordingHttpServer.h) must come before windows.h.
#include "RecordingHttpServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "GpsSettings.h"
#include "ItemHarness.h"
#include "MapRenderer.h"

using harness::Fixture;
using harness::PumpUntil;

namespace {

const wchar_t DatabaseKey[] = L"Software\\Microsoft\\Today\\Items\\Kestrel\\GSMDB";
const CellInfo CellA(L"100", L"1001", L"62");

// Counts paints and cell results on top of the real item.
class CountingItem : public KestrelTodayItem {
public:
    using KestrelTodayItem::KestrelTodayItem;
    void PaintItem(HDC dc) override {
        ++paints;
        KestrelTodayItem::PaintItem(dc);
    }
    int paints = 0;
};

void SetDatabaseDirectory(const wchar_t* directory) {
    HKEY key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, DatabaseKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    if (directory)
        RegSetValueExW(key, L"GSMDirectory", 0, REG_SZ, reinterpret_cast<const BYTE*>(directory),
                       static_cast<DWORD>((wcslen(directory) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring ReadDatabaseDirectory() {
    wchar_t text[MAX_PATH] = L"(missing)";
    DWORD size = sizeof(text);
    RegGetValueW(HKEY_LOCAL_MACHINE, DatabaseKey, L"GSMDirectory", RRF_RT_REG_SZ, nullptr, text,
                 &size);
    return text;
}

// A BTS database for network 23001 in a folder of its own; returns the folder with its
// trailing backslash, as the setting holds it.
std::wstring WriteDatabase() {
    CreateDirectoryW(L"item_wiring_db", nullptr);
    harness::WriteTextFile(L"item_wiring_db\\23001.csv",
                           "1001;PHA-Vinohrady;100;62;strecha;Praha;Vinohradska 112;50.0771;"
                           "14.4512;2026-11-30\r\n");
    wchar_t path[MAX_PATH];
    GetFullPathNameW(L"item_wiring_db\\", MAX_PATH, path, nullptr);
    return path;
}

// The reference service in this process, with the demo key and one cell of 23001.
class Service {
public:
    Service() {
        service.Cells().AddCsv("GSM,230,1,100,1001,0,14.421254,50.087465,800\n");
        service.AddKey("demo@kestrel.example", "KESTREL-DEMO-2006");
        started = server.Start(0);
        base = L"http://127.0.0.1:" + std::to_wstring(server.Port());
    }
    // The item's web-service settings pointing here, the map switched on at every reload.
    void Configure() {
        harness::SetString(L"AppEmail", L"demo@kestrel.example");
        harness::SetString(L"AppKey", L"KESTREL-DEMO-2006");
        harness::SetString(L"WSUrl", base + L"/KestrelService.Svc/GSMTEST/GsmQuery?"
                                            L"keyName={APPNAME}&hash={HASH}&networkCode={NC}"
                                            L"&lac={LAC}&cellId={CELLID}");
        harness::SetString(L"MapUrl", base + L"/map?lat={LAT}&lon={LON}");
        harness::SetDWORD(L"AutoMapAfterStart", 1);
    }
    ~Service() { GpsSettings::Instance().Invalidate(); }

    RefService service;
    RecordingHttpServer server{service};
    bool started = false;
    std::wstring base;
};

// What the HTML view shows at (x, y), as 0xRRGGBB.
uint32_t ShownPixel(HWND control, int x, int y) {
    RECT client;
    GetClientRect(control, &client);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    const COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return uint32_t(GetRValue(colour)) << 16 | uint32_t(GetGValue(colour)) << 8 | GetBValue(colour);
}

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

} // namespace

TEST(DetailGpsWiring, BtsSettingsAndTheirDefaults) {
    Fixture<> f;
    EXPECT_EQ(L"\\GsmDb\\", f.item->GetBtsReader().GetDirectory());
    HKEY key;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, DatabaseKey, 0, KEY_READ, &key));
    DWORD value = 0;
    ASSERT_TRUE(harness::ReadDWORD(L"EnableCVSReader", value));
    EXPECT_EQ(1u, value);
    ASSERT_TRUE(harness::ReadDWORD(L"EnableGSMDatabase", value));
    EXPECT_EQ(0u, value);

    // The sub-key without a value: the default is stored there.
    SetDatabaseDirectory(nullptr);
    f.item->ReloadSettings();
    EXPECT_EQ(L"\\GsmDb\\", f.item->GetBtsReader().GetDirectory());
    EXPECT_EQ(L"\\GsmDb\\", ReadDatabaseDirectory());

    SetDatabaseDirectory(L"\\Storage Card\\GsmDb\\");
    f.item->ReloadSettings();
    EXPECT_EQ(L"\\Storage Card\\GsmDb\\", f.item->GetBtsReader().GetDirectory());
}

TEST(DetailGpsWiring, CellChangeLooksUpOnceAndLostNetworkResets) {
    Fixture<CountingItem> f;
    SetDatabaseDirectory(WriteDatabase().c_str());
    f.item->ReloadSettings();
    ASSERT_TRUE(f.CreateWindowForItem());
    RilTodayTabControl& tabs = f.item->GetTabControl();
    CellDetailTabPage& detail = tabs.GetDetailPage();
    tabs.SelectPage(&detail);

    f.item->OnNetworkId(L"23001");
    f.item->OnCellInfo(CellA);
    EXPECT_EQ(L"62", detail.GetBcch());
    EXPECT_EQ(L"Praha", detail.GetDistrict());
    EXPECT_EQ(L"50.0771", detail.GetLatitude());
    EXPECT_EQ(L"", detail.GetStatusText());

    // The same cell again: no lookup, no reset, and with the basic page hidden no repaint.
    detail.SetStatusText(L"marker");
    int paints = f.item->paints;
    f.item->OnCellInfo(CellA);
    EXPECT_EQ(L"marker", detail.GetStatusText());
    EXPECT_EQ(paints, f.item->paints);

    // Unknown network with the same cell: the page is reset and the item repainted.
    f.item->OnNetworkId(L"-----");
    f.item->OnCellInfo(CellA);
    EXPECT_EQ(L"Detaily nejsou dostupné!", detail.GetStatusText());
    EXPECT_EQ(L"", detail.GetBcch());
    EXPECT_EQ(paints + 1, f.item->paints);

    // A cell the database does not hold.
    f.item->OnNetworkId(L"23001");
    f.item->OnCellInfo(CellInfo(L"100", L"4242", L"1"));
    EXPECT_EQ(L"Data nenalezena", detail.GetStatusText());
}

TEST(DetailGpsWiring, MapCommandAndAutoMapAfterStart) {
    Fixture<> f;
    ASSERT_TRUE(f.CreateWindowForItem());
    GpsPositionTabPage& gps = f.item->GetTabControl().GetGpsPage();
    EXPECT_EQ(3, gps.GetOrder());
    EXPECT_EQ(L"GPS data", gps.GetTitle());
    EXPECT_EQ(L"Podrobnosti", f.item->GetTabControl().GetDetailPage().GetTitle());
    EXPECT_FALSE(gps.IsMapEnabled());
    EXPECT_FALSE(gps.AreRequestsEnabled());

    f.Command(IDM_ITEM_MAP);
    EXPECT_TRUE(gps.IsMapEnabled());
    EXPECT_TRUE(gps.AreRequestsEnabled());
    EXPECT_EQ(UINT(MF_CHECKED),
              GetMenuState(f.item->PrepareContextMenu(), IDM_ITEM_MAP, MF_BYCOMMAND) & MF_CHECKED);
    f.Command(IDM_ITEM_MAP);
    EXPECT_FALSE(gps.IsMapEnabled());
    EXPECT_FALSE(gps.AreRequestsEnabled());
    EXPECT_EQ(0u,
              GetMenuState(f.item->PrepareContextMenu(), IDM_ITEM_MAP, MF_BYCOMMAND) & MF_CHECKED);

    // Every reload takes both switches from AutoMapAfterStart.
    f.Command(IDM_ITEM_MAP);
    harness::SetDWORD(L"AutoMapAfterStart", 0);
    f.item->ReloadSettings();
    EXPECT_FALSE(gps.IsMapEnabled());
    EXPECT_FALSE(gps.AreRequestsEnabled());
    harness::SetDWORD(L"AutoMapAfterStart", 1);
    f.item->ReloadSettings();
    EXPECT_TRUE(gps.IsMapEnabled());
    EXPECT_TRUE(gps.AreRequestsEnabled());
}

TEST(DetailGpsWiring, PositionOfTheServingCellFromTheService) {
    Service service;
    ASSERT_TRUE(service.started);
    Fixture<CountingItem> f("operator \"23001\"\ncell lac=100 id=1001 bcch=62\nequipment 2\n");
    service.Configure();
    f.item->ReloadSettings();
    ASSERT_TRUE(f.CreateWindowForItem());
    RilTodayTabControl& tabs = f.item->GetTabControl();
    GpsPositionTabPage& gps = tabs.GetGpsPage();
    tabs.SelectPage(&gps);

    f.Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(PumpUntil([&] { return gps.GetLastRecord().success; }, 30000));
    EXPECT_EQ(L"Informace o CID: 1001\r\nLAT: 50.087465 LON: 14.421254", gps.ComposeText());
    // Message 1025 repainted the item, and the paint opened the map under it.
    CTodayHtmlWindow& map = gps.GetMapWindow();
    ASSERT_TRUE(PumpUntil([&] { return map.IsVisible(); }));
    EXPECT_EQ(service.base + L"/map?lat=50.087465&lon=14.421254", map.GetUrl());
    // The service's PNG decoded and shown, centred: the serving GSM tower in the middle.
    RECT client;
    GetClientRect(map.GetControl(), &client);
    const uint32_t gsm = MapRenderer::kRadioColours[0];
    auto isGsm = [gsm](uint32_t colour) {
        for (int shift = 0; shift < 24; shift += 8) {
            if (std::abs(int((colour >> shift) & 0xFF) - int((gsm >> shift) & 0xFF)) > 24)
                return false;
        }
        return true;
    };
    ASSERT_TRUE(PumpUntil([&] {
        return isGsm(ShownPixel(map.GetControl(), client.right / 2, client.bottom / 2));
    })) << std::hex
        << ShownPixel(map.GetControl(), client.right / 2, client.bottom / 2);
    f.Command(IDM_ITEM_MONITORING);

    // The map switched off from the menu hides the map at the next paint.
    f.Command(IDM_ITEM_MAP);
    ASSERT_TRUE(PumpUntil([&] { return !map.IsVisible(); }));
}

// The library in the scripted Today host, on the simulated radio: the GPS tab tapped, the
// position drawn and the map window navigated to the service's picture.
TEST(DetailGpsWiring, TodayHostShowsThePositionOnTheGpsTab) {
    if (GetFileAttributesW((ModuleFolder() + L"todayhost.exe").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "todayhost.exe is not built";
    Service service;
    ASSERT_TRUE(service.started);
    const wchar_t* const itemsKey = L"Software\\KestrelTest\\GpsTodayItems";
    harness::DeleteSettings();
    service.Configure();
    harness::SetDWORD(L"CheckInterval", 1);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(itemsKey) + L"\\Kestrel").c_str(),
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    DWORD custom = tlitCustom, one = 1;
    const std::wstring dll = ModuleFolder() + L"KestrelToday.dll";
    RegSetValueExW(key, L"Type", 0, REG_DWORD, reinterpret_cast<BYTE*>(&custom), sizeof(DWORD));
    RegSetValueExW(key, L"Enabled", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof(DWORD));
    RegSetValueExW(key, L"DLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                   static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    harness::WriteTextFile(L"item_gps_scenario.txt", "operator \"23001\"\n"
                                                     "cell lac=100 id=1001 bcch=62\n"
                                                     "equipment 2\n");
    SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", L"item_gps_scenario.txt");
    SetEnvironmentVariableW(L"KESTREL_RIL_MODE", L"cycle");
    DeleteFileW(L"item_gps_out\\gps.txt");
    // The tab strip is the item's top line, under the host's 26-pixel bar.
    harness::WriteTextFile(L"item_gps.script", "wait 500\n"
                                               "tap 200 32\n"
                                               "command Kestrel 40006\n"
                                               "wait 3000\n"
                                               "text gps.txt\n"
                                               "quit\n");

    std::wstring command = L"\"" + ModuleFolder() + L"todayhost.exe\" --items " + itemsKey +
                           L" --script item_gps.script --out item_gps_out";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 60000));
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, itemsKey);
    SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", nullptr);
    harness::DeleteSettings();
    EXPECT_EQ(0u, exitCode);

    const std::string text = harness::ReadFileBytes(L"item_gps_out\\gps.txt");
    EXPECT_NE(std::string::npos,
              text.find("\tInformace o CID: 1001\\r\\nLAT: 50.087465 LON: 14.421254\n"))
        << text;
    bool mapAsked = false;
    for (const std::string& request : service.server.Requests())
        mapAsked = mapAsked || request == "/map?lat=50.087465&lon=14.421254";
    EXPECT_TRUE(mapAsked);
}
