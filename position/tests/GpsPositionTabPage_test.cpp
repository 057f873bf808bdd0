// winsock2.h (through RecordingHttpServer.h) must come before windows.h.
#include "RecordingHttpServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "CTodayWindow.h"
#include "CVORegistry.h"
#include "GpsPositionTabPage.h"
#include "GpsSettings.h"
#include "TestSupport.h"
#include "TodayTabControl.h"

namespace {

const wchar_t kEmail[] = L"demo@kestrel.example";
const wchar_t kKey[] = L"KESTREL-DEMO-2006";
const wchar_t kMapOff[] = L"Zobrazování mapy je vypnuto. Můžete jej zapnout  v kontextovém menu.";
const CellInfo kCellA(L"100", L"1001", L"5");
const CellInfo kCellB(L"100", L"1002", L"5");

// An item window that hands the completion message to its GPS page, as the plug-in does.
class PageItem : public CTodayWindow {
public:
    static inline PageItem* current = nullptr;
    static LRESULT CALLBACK Proc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
        return current->WindowProc(message, wParam, lParam);
    }

    PageItem() {
        current = this;
        SetInstance(GetModuleHandleW(nullptr));
        SetClassName(L"GpsPageTestItem", L"GpsPageTestItemWindow");
        SetItemHeight(70);
        UnregisterWindowClass();
        RegisterWindowClass(Proc);
    }
    ~PageItem() override {
        if (hWnd && IsWindow(hWnd))
            DestroyWindow(hWnd);
        UnregisterWindowClass();
        current = nullptr;
    }
    LRESULT OnDefaultMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_GPSREQUESTDONE) {
            ++doneMessages;
            if (page)
                page->OnRequestDone();
            return 0;
        }
        return CTodayWindow::OnDefaultMessage(message, wParam, lParam);
    }
    void PaintItem(HDC dc) override {
        RECT client;
        GetClientRect(hWnd, &client);
        if (tabs)
            tabs->Paint(dc, client);
    }

    TodayTabControl* tabs = nullptr;
    GpsPositionTabPage* page = nullptr;
    int doneMessages = 0;
};

class BlankPage : public TabPage {
public:
    using TabPage::TabPage;
    void Paint(HDC, SIZE, RECT) override {}
};

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class GpsPage : public ::testing::Test {
protected:
    void SetUp() override {
        service.Cells().AddCsv("GSM,230,1,100,1001,0,14.421254,50.087465,800\n"
                               "GSM,230,1,100,1002,0,14.4305,50.0911,800\n");
        service.AddKey("demo@kestrel.example", "KESTREL-DEMO-2006");
        ASSERT_TRUE(server.Start(0));
        base = L"http://127.0.0.1:" + std::to_wstring(server.Port());

        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"GpsPageTestShell";
        RegisterClassW(&wc);
        shell = CreateWindowExW(0, wc.lpszClassName, L"Desktop", WS_POPUP | WS_VISIBLE, 0, 0, 240,
                                200, nullptr, nullptr, wc.hInstance, nullptr);
        item = std::make_unique<PageItem>();
        TODAYLISTITEM record = {};
        record.fEnabled = TRUE;
        ASSERT_TRUE(item->Create(&record, shell, WS_CHILD | WS_VISIBLE));
        MoveWindow(item->GetWindow(), 0, 0, 240, 70, TRUE);
        tabs = std::make_unique<TodayTabControl>(item.get());
        basic = std::make_unique<BlankPage>(1, L"Základní údaje", tabs.get());
        page = std::make_unique<GpsPositionTabPage>(3, L"GPS data", tabs.get());
        tabs->GetTabs().push_back(basic.get());
        tabs->GetTabs().push_back(page.get());
        tabs->SelectPage(page.get());
        item->tabs = tabs.get();
        item->page = page.get();
        Pump();
    }
    void TearDown() override {
        item->tabs = nullptr;
        item->page = nullptr;
        page.reset();
        basic.reset();
        tabs.reset();
        item.reset();
        DestroyWindow(shell);
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, GpsSettings::ItemKeyPath + 1, 0, KEY_SET_VALUE,
                          &key) == ERROR_SUCCESS) {
            for (const wchar_t* name : {L"AppEmail", L"AppKey", L"WSUrl", L"MapUrl"})
                RegDeleteValueW(key, name);
            RegCloseKey(key);
        }
        GpsSettings::Instance().Invalidate();
    }

    void Configure(const std::wstring& email, const std::wstring& key, const std::wstring& url,
                   const std::wstring& mapUrl) {
        CVORegistry registry(HKEY_LOCAL_MACHINE, GpsSettings::ItemKeyPath, TRUE);
        registry.SetStringValue(L"AppEmail", email.c_str());
        registry.SetStringValue(L"AppKey", key.c_str());
        registry.SetStringValue(L"WSUrl", url.c_str());
        registry.SetStringValue(L"MapUrl", mapUrl.c_str());
        GpsSettings::Instance().Invalidate();
    }
    std::wstring ServiceUrl() const {
        return base + L"/KestrelService.Svc/GSMTEST/GsmQuery?keyName={APPNAME}&hash={HASH}"
                      L"&networkCode={NC}&lac={LAC}&cellId={CELLID}";
    }
    // The position queries the server received (the map view fetches its image there too).
    std::vector<std::string> Queries() {
        std::vector<std::string> queries;
        for (const std::string& request : server.Requests()) {
            if (request.find("/GsmQuery?") != std::string::npos)
                queries.push_back(request);
        }
        return queries;
    }
    std::wstring MapUrl() const { return base + L"/map?lat={LAT}&lon={LON}"; }
    void SwitchOn() {
        page->SetRequestsEnabled(true);
        page->SetMapEnabled(true);
        page->SetNetworkCode(L"23001");
    }
    // Waits, pumping messages, until the item has taken `count` completion messages.
    bool WaitForDone(int count) {
        const DWORD start = GetTickCount();
        while (item->doneMessages < count) {
            if (GetTickCount() - start > 30000)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            Pump();
        }
        return true;
    }
    RECT FrameRect() {
        RECT rect = {};
        GetWindowRect(page->GetMapWindow().GetFrame(), &rect);
        return rect;
    }

    StandInSettings standIn;
    RefService service;
    RecordingHttpServer server{service};
    std::wstring base;
    HWND shell = nullptr;
    std::unique_ptr<PageItem> item;
    std::unique_ptr<TodayTabControl> tabs;
    std::unique_ptr<BlankPage> basic;
    std::unique_ptr<GpsPositionTabPage> page;
};

} // namespace

TEST_F(GpsPage, MissingSettingsReportedOnEveryNetworkUpdate) {
    Configure(L"", L"", L"", L"");
    page->SetNetworkCode(L"23001");
    EXPECT_EQ(L"Chyba - není zadán email asociovaný s přístupovým kódem aplikace",
              page->GetStatusText());
    page->SetMapEnabled(false);
    EXPECT_EQ(L"", page->GetStatusText());
    page->SetNetworkCode(L"23001");
    EXPECT_EQ(L"Chyba - není zadán email asociovaný s přístupovým kódem aplikace",
              page->GetStatusText());

    Configure(kEmail, L"", L"", L"");
    page->SetNetworkCode(L"-----");
    EXPECT_EQ(L"Chyba - nebyl zadán / vygenerován přístupový kód", page->GetStatusText());
    Configure(kEmail, kKey, L"", L"");
    page->SetRequestsEnabled(true);
    EXPECT_EQ(L"Chyba - v konfiguraci musíte zadat adresu služby poskytující GPS souřadnice",
              page->GetStatusText());
    page->SetMapEnabled(true);
    page->SetCell(kCellA);
    EXPECT_EQ(L"", page->GetStatusText());
    page->SetNetworkCode(L"23001");
    EXPECT_EQ(L"Chyba - v konfiguraci musíte zadat adresu služby poskytující GPS souřadnice",
              page->GetStatusText());
    EXPECT_FALSE(page->IsRequestInFlight());
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(GpsPage, MapSwitchedOffAsksNothing) {
    Configure(kEmail, kKey, ServiceUrl(), MapUrl());
    page->SetRequestsEnabled(true);
    page->SetNetworkCode(L"23001");
    page->SetCell(kCellA);
    EXPECT_EQ(std::wstring(L"Žádná data k vykreslení!--") + kMapOff, page->ComposeText());
    EXPECT_FALSE(page->IsRequestInFlight());

    // Switching requests off switches the map off too.
    page->SetMapEnabled(true);
    page->SetRequestsEnabled(false);
    EXPECT_FALSE(page->IsMapEnabled());
    page->SetCell(kCellB);
    EXPECT_EQ(kMapOff, page->GetStatusText());
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(GpsPage, OneRequestPerCellAndACellArrivingMeanwhileNext) {
    Configure(kEmail, kKey, ServiceUrl(), MapUrl());
    SwitchOn();
    page->SetCell(CellInfo(L"100", L"-1", L"5"));
    page->SetCell(CellInfo(L"-1", L"1001", L"5"));
    EXPECT_EQ(L"Žádná data k vykreslení!", page->ComposeText());
    EXPECT_FALSE(page->IsRequestInFlight());

    page->SetCell(kCellA);
    EXPECT_TRUE(page->IsRequestInFlight());
    EXPECT_EQ(L"Odeslán požadavek na CID: 1001", page->GetStatusText());
    EXPECT_EQ(L"Informace o CID: 1001\r\nLAT: ??? LON: ??\?--Odeslán požadavek na CID: 1001",
              page->ComposeText());
    page->SetCell(kCellA);
    page->SetCell(kCellB);

    ASSERT_TRUE(WaitForDone(1));
    EXPECT_TRUE(page->GetLastRecord().success);
    EXPECT_EQ(kCellA, page->GetLastRecord().cell);
    EXPECT_EQ(L"50.087465", page->GetLastRecord().result.latitude);
    EXPECT_EQ(L"14.421254", page->GetLastRecord().result.longitude);
    EXPECT_TRUE(page->IsRequestInFlight());
    EXPECT_EQ(L"Odeslán požadavek na CID: 1002", page->GetStatusText());

    ASSERT_TRUE(WaitForDone(2));
    EXPECT_FALSE(page->IsRequestInFlight());
    EXPECT_EQ(L"Informace o CID: 1002\r\nLAT: 50.0911 LON: 14.4305", page->ComposeText());
    auto requests = Queries();
    ASSERT_EQ(2u, requests.size());
    EXPECT_NE(std::string::npos, requests[0].find("networkCode=23001&lac=100&cellId=1001"));
    EXPECT_NE(std::string::npos, requests[1].find("cellId=1002"));

    // A new BCCH alone is a new cell.
    const CellInfo movedA(L"100", L"1001", L"6");
    page->SetCell(movedA);
    EXPECT_TRUE(page->IsRequestInFlight());
    // Away and back during the request: its answer is already there when it ends.
    page->SetCell(kCellB);
    page->SetCell(movedA);
    ASSERT_TRUE(WaitForDone(3));
    EXPECT_FALSE(page->IsRequestInFlight());
    page->SetNetworkCode(L"23001");
    page->SetRequestsEnabled(true);
    EXPECT_FALSE(page->IsRequestInFlight());
    EXPECT_EQ(3u, Queries().size());
}

TEST_F(GpsPage, FailedRequestsShowTheCodeAndNoCoordinates) {
    Configure(kEmail, L"WRONG", ServiceUrl(), MapUrl());
    SwitchOn();
    page->SetCell(kCellA);
    ASSERT_TRUE(WaitForDone(1));
    EXPECT_FALSE(page->GetLastRecord().success);
    EXPECT_EQ(L"Chyba: Neplatný přístupový kód Kód chyby: 1", page->GetStatusText());
    EXPECT_EQ(L"Informace o CID: 1001\r\nLAT: ??? LON: ??\?--Chyba: Neplatný přístupový kód "
              L"Kód chyby: 1",
              page->ComposeText());

    // A code without a message.
    std::wstring folder = TestFolder(L"kestrel_gps_page");
    WriteFileBytes(folder + L"code7.xml", "<r><ErrorCode>7</ErrorCode></r>");
    service.SetFilesFolder(folder.substr(0, folder.size() - 1));
    Configure(kEmail, kKey, base + L"/files/code7.xml", MapUrl());
    page->SetCell(kCellB);
    ASSERT_TRUE(WaitForDone(2));
    EXPECT_EQ(L"Chyba:  Kód chyby: 7", page->GetStatusText());

    server.Stop();
    page->SetCell(kCellA);
    ASSERT_TRUE(WaitForDone(3));
    EXPECT_EQ(L"Chyba: Klient - chyba při odesílání / zpracování Kód chyby: -1000",
              page->GetStatusText());
}

TEST_F(GpsPage, MapUrlFilledOrMissing) {
    Configure(kEmail, kKey, ServiceUrl(), L"");
    SwitchOn();
    page->SetCell(kCellA);
    ASSERT_TRUE(WaitForDone(1));
    EXPECT_EQ(L"Informace o CID: 1001\r\nLAT: 50.087465 LON: 14.421254--Chyba: Nezadána adresa "
              L"mapy v konfiguraci aplikace.",
              page->ComposeText());

    Configure(kEmail, kKey, ServiceUrl(), L"http://m/{LON}/{LAT}/{LAT}");
    page->SetCell(kCellB);
    ASSERT_TRUE(WaitForDone(2));
    EXPECT_EQ(L"", page->GetStatusText());
    EXPECT_EQ(L"http://m/14.4305/50.0911/{LAT}", page->GetMapUrl());
}

TEST_F(GpsPage, StrayCompletionChangesNothing) {
    Configure(kEmail, kKey, ServiceUrl(), MapUrl());
    SwitchOn();
    PostMessageW(item->GetWindow(), WM_GPSREQUESTDONE, 0, 0);
    ASSERT_TRUE(WaitForDone(1));
    EXPECT_EQ(L"", page->GetStatusText());
    EXPECT_EQ(L"", page->GetLastRecord().result.errorCode);
    EXPECT_EQ(L"", page->GetMapUrl());
}

TEST_F(GpsPage, MapBelowOrAboveTheItemAndHiddenWithItsTab) {
    Configure(kEmail, kKey, ServiceUrl(), MapUrl());
    SwitchOn();
    page->SetCell(kCellA);
    ASSERT_TRUE(WaitForDone(1));
    const std::wstring filled = base + L"/map?lat=50.087465&lon=14.421254";
    EXPECT_EQ(filled, page->GetMapUrl());

    RECT desktop;
    GetClientRect(GetDesktopWindow(), &desktop);
    item->Refresh(FALSE);
    CTodayHtmlWindow& map = page->GetMapWindow();
    ASSERT_TRUE(map.IsVisible());
    EXPECT_EQ(filled, map.GetUrl());
    RECT below = FrameRect();
    EXPECT_EQ(70, below.top);
    EXPECT_EQ(desktop.bottom, below.bottom);
    EXPECT_EQ(desktop.left, below.left);
    EXPECT_EQ(desktop.right, below.right);

    tabs->SelectPage(basic.get());
    EXPECT_FALSE(map.IsVisible());
    // 49 pixels left under the item: the map goes above it.
    MoveWindow(shell, 0, desktop.bottom - 119, 240, 200, FALSE);
    tabs->SelectPage(page.get());
    item->Refresh(FALSE);
    ASSERT_TRUE(map.IsVisible());
    RECT above = FrameRect();
    EXPECT_EQ(desktop.top, above.top);
    EXPECT_EQ(desktop.bottom - 119, above.bottom);

    // Full screen survives a paint without the map, not a change of tab.
    SendMessageW(map.GetFrame(), WM_COMMAND, 40014, 0);
    ASSERT_TRUE(map.IsFullScreen());
    page->SetMapEnabled(false);
    item->Refresh(FALSE);
    EXPECT_TRUE(map.IsVisible());
    tabs->SelectPage(basic.get());
    EXPECT_FALSE(map.IsVisible());

    SendMessageW(map.GetFrame(), WM_COMMAND, 40014, 0);
    page->SetMapEnabled(true);
    tabs->SelectPage(page.get());
    item->Refresh(FALSE);
    EXPECT_TRUE(map.IsVisible());
    page->SetMapEnabled(false);
    item->Refresh(FALSE);
    EXPECT_FALSE(map.IsVisible());
}
