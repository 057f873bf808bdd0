#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "ImportPatch.h"
#include "NameLookup.h"
#include "TcpPort.h"

// Opening "tcp:HOST:PORT" is bounded and ends at a stop request, also when the system's resolver
// or the peer never answers.

namespace {

// The host name whose lookup hangs until the test lets it go.
const char* const HANGING_HOST = "modem.hangs.example";

typedef int(WSAAPI* GetAddrInfoFunction)(const char*, const char*, const addrinfo*, addrinfo**);

// A resolver that never answers, put in this program's import of getaddrinfo: the real one
// cannot be made to hang on purpose.
class HangingResolver {
public:
    HangingResolver() {
        entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        instance = this;
        real = reinterpret_cast<GetAddrInfoFunction>(Patch(reinterpret_cast<void*>(&Hang)));
    }
    ~HangingResolver() {
        // The lookup thread is let go and its end waited for before the import is put back.
        // Each case waits until its lookup has begun.
        SetEvent(release);
        if (WaitForSingleObject(entered, 0) == WAIT_OBJECT_0) {
            WaitForSingleObject(returned, INFINITE);
        }
        Patch(reinterpret_cast<void*>(real));
        instance = nullptr;
        CloseHandle(entered);
        CloseHandle(release);
        CloseHandle(returned);
    }
    bool Installed() const { return real != nullptr; }
    // Signalled once a lookup of HANGING_HOST has begun; one lookup at a time.
    HANDLE Entered() const { return entered; }
    bool StillHanging() const { return WaitForSingleObject(returned, 0) == WAIT_TIMEOUT; }

private:
    static int WSAAPI Hang(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** found) {
        if (!node || std::strcmp(node, HANGING_HOST) != 0) {
            return instance->real(node, service, hints, found);
        }
        // The lookup of an address as a number fails at once, as the real one does.
        if (hints && (hints->ai_flags & AI_NUMERICHOST)) {
            return EAI_NONAME;
        }
        SetEvent(instance->entered);
        WaitForSingleObject(instance->release, INFINITE);
        SetEvent(instance->returned);
        return WSAHOST_NOT_FOUND;
    }

    // Puts replacement into this program's import of getaddrinfo; what was there.
    static void* Patch(void* replacement) {
        HMODULE program = GetModuleHandleW(nullptr);
        void* was = ImportedAddress(program, "getaddrinfo");
        const ImportRedirect redirect = {"getaddrinfo", replacement};
        return was && RedirectImports(program, &redirect, 1) == 1 ? was : nullptr;
    }

    static HangingResolver* instance;
    GetAddrInfoFunction real = nullptr;
    HANDLE entered, release, returned;
};

HangingResolver* HangingResolver::instance = nullptr;

} // namespace

TEST(TcpPort, AHostNameThatIsNeverResolvedIsGivenUpOnInTimeAndAtAStopRequest) {
    std::atomic<bool> stopping{false};
    {
        HangingResolver resolver;
        ASSERT_TRUE(resolver.Installed());
        int error = 0;
        addrinfo* found = NameLookup::Resolve(HANGING_HOST, "7000", 200, stopping, error);
        EXPECT_EQ(nullptr, found);
        EXPECT_EQ(WSAETIMEDOUT, error);
        WaitForSingleObject(resolver.Entered(), INFINITE);
        EXPECT_TRUE(resolver.StillHanging());
    }
    // Switching monitoring off while the modem's host is being looked up.
    HangingResolver resolver;
    ASSERT_TRUE(resolver.Installed());
    std::thread stopper([&] {
        WaitForSingleObject(resolver.Entered(), INFINITE);
        stopping = true;
    });
    TcpPort port;
    std::wstring reason;
    EXPECT_FALSE(port.Open(HANGING_HOST, "7000", stopping, reason));
    stopper.join();
    EXPECT_TRUE(resolver.StillHanging());
}

TEST(TcpPort, APeerThatNeverAcceptsIsGivenUpOnAtAStopRequest) {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    // A listener with a full backlog that never accepts: the system drops further connection
    // requests, so connecting to it waits for ever.
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
    ASSERT_EQ(0, listen(listener, 0));
    ASSERT_EQ(0, getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length));
    SOCKET waiting = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(0, connect(waiting, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
    const std::string port = std::to_string(ntohs(address.sin_port));

    // Without a stop request the wait is bounded.
    std::atomic<bool> stopping{false};
    std::wstring reason;
    {
        TcpPort tcp;
        EXPECT_FALSE(tcp.Open("127.0.0.1", port, stopping, reason));
        EXPECT_NE(std::wstring::npos, reason.find(L"cannot connect")) << reason;
    }

    // A stop request ends it well before that bound (3 s).
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread opener([&] {
        TcpPort tcp;
        std::wstring why;
        tcp.Open("127.0.0.1", port, stopping, why);
        SetEvent(done);
    });
    Sleep(300);
    stopping = true;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done, 1500));
    opener.join();
    CloseHandle(done);
    closesocket(waiting);
    closesocket(listener);
    WSACleanup();
}
