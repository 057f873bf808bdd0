// The service's HTTP server under clients that do not behave: each holds at most its own
// connection, and is given up on when it takes too long.

#include <gtest/gtest.h>

#include "RecordingHttpServer.h"

#include <atomic>
#include <string>
#include <thread>

namespace {

const DWORD kClientTimeoutMs = 20000;

SOCKET Connect(unsigned short port, int receiveBuffer = 0) {
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    DWORD timeout = kClientTimeoutMs;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
    if (receiveBuffer > 0) {
        setsockopt(client, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                   sizeof(receiveBuffer));
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    EXPECT_EQ(0, connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
    return client;
}

void Send(SOCKET client, const std::string& bytes) {
    send(client, bytes.data(), static_cast<int>(bytes.size()), 0);
}

// Everything up to the server's close; what came before a failed read too.
std::string ReadAll(SOCKET client) {
    std::string reply;
    char buffer[8192];
    int got;
    while ((got = recv(client, buffer, sizeof(buffer), 0)) > 0) {
        reply.append(buffer, got);
    }
    return reply;
}

std::string Get(unsigned short port, const std::string& request) {
    SOCKET client = Connect(port);
    Send(client, request);
    std::string reply = ReadAll(client);
    closesocket(client);
    return reply;
}

class HostileClients : public ::testing::Test {
protected:
    void SetUp() override {
        service.Cells().AddCsv("GSM,230,1,100,1001,0,14.421254,50.087465,800\n");
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"refservice_hostile";
        CreateDirectoryW(folder.c_str(), nullptr);
        service.SetFilesFolder(folder);
    }
    void TearDown() override {
        for (const wchar_t* name : {L"\\small.txt", L"\\large.bin"}) {
            DeleteFileW((folder + name).c_str());
        }
        RemoveDirectoryW(folder.c_str());
    }
    void WriteFile(const wchar_t* name, const std::string& content) {
        HANDLE file = CreateFileW((folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
    }

    RefService service;
    std::wstring folder;
};

} // namespace

TEST_F(HostileClients, RequestLinesEndingInLineFeedAloneAreAnswered) {
    RecordingHttpServer server(service);
    ASSERT_TRUE(server.Start(0));
    std::string reply =
        Get(server.Port(), "GET /gsmdb/23001.csv HTTP/1.1\nHost: 127.0.0.1\nUser-Agent: lf\n\n");
    EXPECT_EQ(0u, reply.find("HTTP/1.1 200 OK\r\n")) << reply;
    EXPECT_NE(std::string::npos, reply.find("\r\n\r\n1001;GSM;100;"));
    ASSERT_EQ(1u, server.UserAgents().size());
    EXPECT_EQ("lf", server.UserAgents()[0]);
}

// A head that comes a byte at a time, never to end: others are answered meanwhile, and it
// is cut off at its deadline however often its bytes come.
TEST_F(HostileClients, SlowRequestHeadHoldsOnlyItsOwnConnectionAndMeetsADeadline) {
    RecordingHttpServer server(service, {500, 5000, 16});
    ASSERT_TRUE(server.Start(0));
    SOCKET slow = Connect(server.Port());
    Send(slow, "GET /gsmdb/23001.csv HTTP/1.1\r\nX-Slow: ");
    std::atomic<bool> answered{false};
    std::thread trickle([&] {
        for (int i = 0; i < 600 && !answered; ++i) {
            Send(slow, "a");
            Sleep(50);
        }
    });

    std::string other = Get(server.Port(), "GET /gsmdb/23001.csv HTTP/1.1\r\n\r\n");
    EXPECT_EQ(0u, other.find("HTTP/1.1 200 OK\r\n")) << other;

    std::string cut = ReadAll(slow);
    answered = true;
    trickle.join();
    closesocket(slow);
    EXPECT_EQ(0u, cut.find("HTTP/1.1 408 Request Timeout\r\n")) << cut;
    // Only the other request reached the service.
    EXPECT_EQ(1u, server.Requests().size());
}

// A client that stops reading a large answer keeps its connection until the send time-out;
// meanwhile a connection beyond the cap is told why it is not served.
TEST_F(HostileClients, ClientThatStopsReadingIsGivenUpAndConnectionsBeyondTheCapGet503) {
    const size_t largeBytes = 12 << 20;
    WriteFile(L"large.bin", std::string(largeBytes, 'x'));
    WriteFile(L"small.txt", "small\n");
    RecordingHttpServer server(service, {5000, 300, 1});
    ASSERT_TRUE(server.Start(0));
    SOCKET stalled = Connect(server.Port(), 4096);
    Send(stalled, "GET /files/large.bin HTTP/1.1\r\n\r\n");

    std::string refused = Get(server.Port(), "GET /files/small.txt HTTP/1.1\r\n\r\n");
    EXPECT_EQ(0u, refused.find("HTTP/1.1 503 Service Unavailable\r\n")) << refused;
    EXPECT_NE(std::string::npos, refused.find("too many connections"));
    std::string served = refused;
    for (int attempt = 0; attempt < 1000 && served.find(" 503 ") != std::string::npos; ++attempt) {
        Sleep(20);
        served = Get(server.Port(), "GET /files/small.txt HTTP/1.1\r\n\r\n");
    }
    EXPECT_EQ(0u, served.find("HTTP/1.1 200 OK\r\n")) << served;

    std::string partial = ReadAll(stalled);
    closesocket(stalled);
    EXPECT_EQ(0u, partial.find("HTTP/1.1 200 OK\r\n"));
    EXPECT_LT(partial.size(), largeBytes);
}
