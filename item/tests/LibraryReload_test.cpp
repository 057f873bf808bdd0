// The Today screen reloads its items whenever settings change or a package is installed: each
// reload frees the item's library and loads it again. A library that leaves a kernel handle
// behind at every unload makes the shell's process grow for as long as the phone runs.

#include <winsock2.h>

#include <gtest/gtest.h>

#include "HostHarness.h"
#include "resource.h"

using host_harness::Host;
using host_harness::LibraryLoaded;

namespace {

const char Scenario[] = "operator \"23001\"\ncell lac=100 id=1001 bcch=17\nequipment 2\n";

// Wine counts no handles of a process: every handle value is tried.
long CountHandles() {
    long count = 0;
    ULONG_PTR lastValid = 0;
    for (ULONG_PTR value = 4; value - lastValid < 16384; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            lastValid = value;
        }
    }
    return count;
}

bool ReloadAndWait(Host& host) {
    HWND before = host.ItemWindow();
    host.Reload();
    return harness::PumpUntil([&] { return host.ItemWindow() && host.ItemWindow() != before; });
}

// A web service that answers each request with a body larger than the item takes: the position
// request fails with an exception on its thread. It says it closes the connection, so WinInet
// keeps none in its pool: a pooled one keeps WinInet (and its URL cache's mapped files) loaded
// for a minute after the item has gone, which the count would take for the item's.
class OversizedService {
    // More than the item reads of any answer (256 KB).
    static const size_t OversizedBody = 320 * 1024;

public:
    OversizedService() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        u_long nonBlocking = 1;
        listening = bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                    listen(listener, 8) == 0 &&
                    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
                    ioctlsocket(listener, FIONBIO, &nonBlocking) == 0;
        port = ntohs(address.sin_port);
    }
    ~OversizedService() {
        closesocket(listener);
        WSACleanup();
    }
    bool TookConnection() {
        SOCKET connection = accept(listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET) {
            return false;
        }
        u_long blocking = 0;
        DWORD timeout = 10000;
        ioctlsocket(connection, FIONBIO, &blocking);
        setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&timeout),
                   sizeof(timeout));
        setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&timeout),
                   sizeof(timeout));
        // The request is read whole first: a socket closed with unread input is reset, and the
        // item would see a broken read instead of the body it refuses.
        std::string head;
        char buffer[1024];
        int received;
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384 &&
               (received = recv(connection, buffer, sizeof(buffer), 0)) > 0) {
            head.append(buffer, received);
        }
        std::string answer =
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/xml\r\n\r\n";
        answer.append(OversizedBody, ' ');
        // The item stops reading once it has too much: the rest may not go out.
        send(connection, answer.data(), static_cast<int>(answer.size()), 0);
        shutdown(connection, SD_SEND);
        closesocket(connection);
        return true;
    }
    void Configure() {
        harness::SetString(L"AppEmail", L"demo@kestrel.example");
        harness::SetString(L"AppKey", L"KESTREL-DEMO-2006");
        harness::SetString(L"WSUrl", L"http://127.0.0.1:" + std::to_wstring(port) +
                                         L"/KestrelService.Svc/GSMTEST/GsmQuery?cellId={CELLID}");
        harness::SetDWORD(L"AutoMapAfterStart", 1);
    }

    SOCKET listener = INVALID_SOCKET;
    bool listening = false;
    unsigned short port = 0;
};

// Switched off and on again: the library goes (once its threads have ended), WinInet with it, and
// both come afresh.
bool LoadAfresh(Host& host) {
    host_harness::SetItemValue(L"Enabled", 0);
    host.Reload();
    if (!harness::PumpUntil([] { return !LibraryLoaded() && !GetModuleHandleW(L"wininet.dll"); },
                            20000)) {
        return false;
    }
    host_harness::SetItemValue(L"Enabled", 1);
    host.Reload();
    return harness::PumpUntil([&] { return host.ItemWindow() != nullptr; });
}

} // namespace

TEST(LibraryReload, UnloadLeavesNoKernelHandleBehind) {
    // The library's save-file dialog brings comdlg32 and with it Wine's winspool.drv, which
    // leaves a named mutex behind whenever it is unloaded. The device's shell keeps the
    // common dialogs loaded anyway.
    HMODULE dialogs = LoadLibraryW(L"comdlg32.dll");
    Host host(Scenario);
    ASSERT_TRUE(host.Start());
    ASSERT_TRUE(host.ItemWindow());
    // The first reload may make what the process keeps once (Wine's own caches).
    ASSERT_TRUE(ReloadAndWait(host));
    const long before = CountHandles();
    for (int reload = 0; reload < 5; ++reload) {
        ASSERT_TRUE(ReloadAndWait(host)) << "reload " << reload;
    }
    EXPECT_EQ(before, CountHandles());
    FreeLibrary(dialogs);
}

// The C++ runtime keeps its per-thread exception state where the library's own code put it, not
// in locks that outlive the library: every instance whose position request failed (and threw)
// goes without a trace.
TEST(LibraryReload, InstancesThatMetAnExceptionLeaveNoKernelHandleBehind) {
    HMODULE dialogs = LoadLibraryW(L"comdlg32.dll");
    // The phone's radio layer is the system's and stays loaded; the stand-in's C++ runtime
    // would otherwise be counted with the item's.
    HMODULE radio = LoadLibraryW(L"ril.dll");
    OversizedService web;
    ASSERT_TRUE(web.listening);
    Host host(Scenario);
    web.Configure();
    ASSERT_TRUE(host.Start());
    long before = 0;
    for (int instance = 0; instance < 5; ++instance) {
        ASSERT_TRUE(host.ItemWindow()) << "instance " << instance;
        host.Command(IDM_ITEM_MONITORING);
        ASSERT_TRUE(harness::PumpUntil([&] { return web.TookConnection(); }))
            << "instance " << instance;
        ASSERT_TRUE(LoadAfresh(host)) << "instance " << instance;
        // The first two make what Wine's libraries keep once.
        if (instance == 1) {
            before = CountHandles();
        }
    }
    EXPECT_EQ(before, CountHandles());
    FreeLibrary(radio);
    FreeLibrary(dialogs);
}
