// The Today host reloads its items (WM_SETTINGCHANGE 0xF2) while the item's position request
// waits for the web service: the library stays loaded for the request's thread, the host lives
// on, the item comes back and goes on working, and the library goes once the thread has ended.

// winsock2.h (through RecordingHttpServer.h) must come before windows.h.
#include "RecordingHttpServer.h"

#include <gtest/gtest.h>

#include "HostHarness.h"
#include "resource.h"

using host_harness::Host;
using host_harness::LibraryLoaded;

namespace {

// Two cells, one polling cycle each, then the second stays.
const char Scenario[] = "step\noperator \"23001\"\ncell lac=100 id=1001 bcch=17\nequipment 2\n"
                        "step\ncell lac=100 id=1002 bcch=18\n";

// The reference service in this process, answering one held request per release.
class HeldService {
public:
    HeldService() {
        service.Cells().AddCsv("GSM,230,1,100,1001,0,14.421254,50.087465,800\n"
                               "GSM,230,1,100,1002,0,14.431254,50.097465,800\n");
        service.AddKey("demo@kestrel.example", "KESTREL-DEMO-2006");
        release = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        server.SetHold(release);
        started = server.Start(0);
    }
    ~HeldService() {
        server.SetHold(nullptr);
        SetEvent(release);
        server.Stop();
        CloseHandle(release);
    }
    void Configure() {
        wchar_t url[256];
        wsprintfW(url,
                  L"http://127.0.0.1:%u/KestrelService.Svc/GSMTEST/GsmQuery?keyName={APPNAME}"
                  L"&hash={HASH}&networkCode={NC}&lac={LAC}&cellId={CELLID}",
                  server.Port());
        harness::SetString(L"AppEmail", L"demo@kestrel.example");
        harness::SetString(L"AppKey", L"KESTREL-DEMO-2006");
        harness::SetString(L"WSUrl", url);
        harness::SetDWORD(L"AutoMapAfterStart", 1);
        harness::SetDWORD(L"CheckInterval", 1);
    }
    size_t Requests() { return server.Requests().size(); }

    RefService service;
    RecordingHttpServer server{service};
    HANDLE release = nullptr;
    bool started = false;
};

} // namespace

TEST(ReloadDuringRequest, LibraryStaysForTheRequestThreadAndGoesAfterIt) {
    HeldService web;
    ASSERT_TRUE(web.started);
    Host host(Scenario);
    web.Configure();
    ASSERT_TRUE(host.Start());
    ASSERT_TRUE(host.ItemWindow());
    host.Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(harness::PumpUntil([&] { return web.Requests() == 1; }));

    for (int reload = 0; reload < 3; ++reload) {
        HWND before = host.ItemWindow();
        host.Reload();
        ASSERT_TRUE(harness::PumpUntil([&] {
            return host.ItemWindow() && host.ItemWindow() != before;
        })) << "reload "
            << reload;
        EXPECT_TRUE(LibraryLoaded());
    }
    // The item that came back keeps polling and takes the first answer: its page then asks
    // for the cell it has moved to meanwhile.
    ASSERT_TRUE(harness::PumpUntil(
        [&] { return host.Texts().find(L"Cell Id: 1002 LAC: 100") != std::wstring::npos; }));
    SetEvent(web.release);
    ASSERT_TRUE(harness::PumpUntil([&] { return web.Requests() == 2; }));

    // Switched off in the registry and reloaded: the host lets the library go, the waiting
    // request's thread still holds it until its answer has come.
    host_harness::SetItemValue(L"Enabled", 0);
    host.Reload();
    ASSERT_TRUE(harness::PumpUntil([&] { return host.ItemWindow() == nullptr; }));
    EXPECT_TRUE(LibraryLoaded());
    SetEvent(web.release);
    EXPECT_TRUE(harness::PumpUntil([] { return !LibraryLoaded(); }, 20000));
}

// The answer comes while the Today screen reloads, after the reload was asked for and before
// it ran: the request tells the window that the reload then destroys. The item that comes back
// (its library stayed loaded) still takes that answer and goes on asking for the cells it
// moves to.
TEST(ReloadDuringRequest, AnswerToTheWindowThatWentIsTakenByTheNewOne) {
    HeldService web;
    ASSERT_TRUE(web.started);
    Host host(Scenario);
    web.Configure();
    ASSERT_TRUE(host.Start());
    host.Command(IDM_ITEM_MONITORING);
    ASSERT_TRUE(harness::PumpUntil([&] { return web.Requests() == 1; }));
    // Stands for the request thread's own reference, which it may drop any moment now.
    HMODULE library = LoadLibraryW((host_harness::BinFolder() + L"KestrelToday.dll").c_str());
    ASSERT_TRUE(library);

    HWND before = host.ItemWindow();
    host.Reload();
    SetEvent(web.release);
    // Nothing is dispatched until the answer's message waits behind the reload.
    MSG message;
    DWORD start = GetTickCount();
    while (!PeekMessageW(&message, before, WM_USER + 1, WM_USER + 1, PM_NOREMOVE) &&
           GetTickCount() - start < 10000) {
        Sleep(5);
    }
    ASSERT_TRUE(
        harness::PumpUntil([&] { return host.ItemWindow() && host.ItemWindow() != before; }));
    EXPECT_TRUE(harness::PumpUntil([&] { return web.Requests() == 2; }));
    SetEvent(web.release);
    host.host.reset();
    FreeLibrary(library);
}
