#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "InternetAccessComponent.h"
#include "TestSupport.h"

namespace {

const wchar_t kUrl[] = L"http://127.0.0.1:9/";

// Records what the watch thread hands to the handlers.
template <class Base> class Recorder : public Base {
public:
    Recorder() { ended = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Recorder() override {
        this->StopWatch(INFINITE);
        CloseHandle(ended);
    }
    HRESULT OnStatusChanged(DWORD status) override {
        {
            std::lock_guard<std::mutex> guard(lock);
            statuses.push_back(status);
        }
        return Base::OnStatusChanged(status);
    }
    HRESULT OnWatchEnded() override {
        ++watchesEnded;
        SetEvent(ended);
        return Base::OnWatchEnded();
    }
    // Waits until the watch has ended by itself and its thread is gone.
    bool WaitForWatchEnd() {
        bool ok = WaitForSingleObject(ended, 10000) == WAIT_OBJECT_0;
        this->StopWatch(INFINITE);
        return ok;
    }
    std::vector<DWORD> Statuses() {
        std::lock_guard<std::mutex> guard(lock);
        return statuses;
    }

    HANDLE ended;
    volatile LONG watchesEnded = 0;

private:
    std::mutex lock;
    std::vector<DWORD> statuses;
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

class ConnectionTest : public ::testing::Test {
protected:
    StandInSettings standIn;
};

} // namespace

TEST_F(ConnectionTest, StatusesThatChangeNothingAndAPlainDisconnection) {
    standIn.Set(L"STATUSES", L"0x10,0x11,0x80,0x81,0x20");
    Recorder<InternetAccessComponent> connection;
    EXPECT_EQ(S_OK, connection.Connect(kUrl, FALSE));
    EXPECT_EQ(1, connection.GetConnectionState());
    ASSERT_TRUE(connection.WaitForWatchEnd());
    EXPECT_EQ((std::vector<DWORD>{0x10, 0x11, 0x80, 0x81, 0x20}), connection.Statuses());
    // A plain disconnection leaves the state alone and lets the connection be cached.
    EXPECT_EQ(1, connection.GetConnectionState());
    EXPECT_EQ(0x20u, connection.GetLastStatus());
    EXPECT_NE(std::string::npos, standIn.ConnMgrLog().find("Release cache=1"));
    EXPECT_NE(std::string::npos,
              standIn.ConnMgrLog().find("Establish params=0x1 flags=0x0 priority=0x8000"));
    EXPECT_EQ("", standIn.ShellLog());
}

TEST_F(ConnectionTest, FailureStatusReportsAndFails) {
    standIn.Set(L"FAILSTATUS", L"0x21");
    Recorder<InternetAccessComponent> connection;
    EXPECT_EQ(S_OK, connection.Connect(kUrl, TRUE));
    ASSERT_TRUE(connection.WaitForWatchEnd());
    EXPECT_EQ(0, connection.GetConnectionState());
    EXPECT_EQ(":MSREMNET -CMERROR 0x21 -report\r\n", standIn.ShellLog());
    EXPECT_NE(std::string::npos, standIn.ConnMgrLog().find("flags=0x1 "));
    EXPECT_NE(std::string::npos, standIn.ConnMgrLog().find("Release cache=0"));
}

TEST_F(ConnectionTest, FailureAfterConnectingAndRefusedRequest) {
    standIn.Set(L"STATUSES", L"0x40,0x10,0x2a");
    Recorder<InternetAccessComponent> connection;
    connection.Connect(kUrl, FALSE);
    ASSERT_TRUE(connection.WaitForWatchEnd());
    EXPECT_EQ(0, connection.GetConnectionState());
    EXPECT_EQ(":MSREMNET -CMERROR 0x2a -report\r\n", standIn.ShellLog());

    standIn.Set(L"ESTABLISHRESULT", L"0x80004005");
    Recorder<InternetAccessComponent> refused;
    EXPECT_EQ(S_OK, refused.Connect(kUrl, FALSE));
    ASSERT_TRUE(refused.WaitForWatchEnd());
    EXPECT_EQ(0, refused.GetConnectionState());
    EXPECT_NE(std::string::npos, standIn.ShellLog().find(":MSREMNET -CMERROR 0x80004005 -report"));
}

TEST_F(ConnectionTest, NullUrlMapsTheEarlierUrlAgain) {
    standIn.Set(L"NEVERANSWER", L"1");
    Recorder<CConnection> connection;
    EXPECT_EQ(E_INVALIDARG, connection.Connect(nullptr, FALSE));
    EXPECT_EQ(S_OK, connection.Connect(L"http://first.example/", FALSE));
    EXPECT_EQ(S_OK, connection.Connect(nullptr, FALSE));
    EXPECT_STREQ(L"http://first.example/", connection.GetUrl());
    EXPECT_EQ(2u, Count(standIn.ConnMgrLog(), "MapURL http://first.example/"));
}

TEST_F(ConnectionTest, ReconnectStopsTheOldWatchFirst) {
    standIn.Set(L"NEVERANSWER", L"1");
    {
        Recorder<CConnection> connection;
        EXPECT_EQ(S_OK, connection.Connect(kUrl, FALSE));
        EXPECT_EQ(S_OK, connection.Connect(kUrl, FALSE));
        EXPECT_EQ(1, connection.watchesEnded);
    }
    // The old watch ended and released its connection before the new one was requested.
    std::string log = standIn.ConnMgrLog();
    size_t first = log.find("Establish");
    size_t release = log.find("Release cache=0", first);
    size_t second = log.find("Establish", release);
    ASSERT_NE(std::string::npos, second);
    EXPECT_NE(std::string::npos, log.find("Release cache=0", second));
}

TEST_F(ConnectionTest, RefusedMappingStartsNoWatch) {
    standIn.Set(L"MAPURLRESULT", L"0x80072EE7");
    Recorder<CConnection> connection;
    EXPECT_EQ(static_cast<HRESULT>(0x80072EE7), connection.Connect(kUrl, FALSE));
    EXPECT_EQ(std::string::npos, standIn.ConnMgrLog().find("Establish"));
}

TEST_F(ConnectionTest, ProxyFoundAndNotFound) {
    standIn.Set(L"PROXYSERVER", L"proxy.example:8080");
    {
        InternetAccessComponent connection;
        connection.Connect(kUrl, TRUE);
        ASSERT_EQ(1, connection.GetConnectionState());
        EXPECT_TRUE(connection.IsProxyFound());
        EXPECT_STREQ(L"proxy.example:8080", connection.GetProxyServer());
    }
    standIn.Set(L"PROXYTYPE", L"2");
    {
        InternetAccessComponent connection;
        connection.Connect(kUrl, TRUE);
        ASSERT_EQ(1, connection.GetConnectionState());
        EXPECT_FALSE(connection.IsProxyFound());
    }
    standIn.Set(L"PROXYSERVER", nullptr);
    {
        InternetAccessComponent connection;
        connection.Connect(kUrl, TRUE);
        ASSERT_EQ(1, connection.GetConnectionState());
        EXPECT_FALSE(connection.IsProxyFound());
    }
}

TEST_F(ConnectionTest, DisconnectAndDestructionStopTheWatch) {
    standIn.Set(L"STATUSES", L"0x10");
    {
        Recorder<InternetAccessComponent> connection;
        connection.Connect(kUrl, FALSE);
        EXPECT_EQ(1, connection.GetConnectionState());
        connection.Disconnect();
        EXPECT_EQ(-1, connection.GetConnectionState());
        EXPECT_EQ(1, connection.watchesEnded);
        EXPECT_EQ(1u, Count(standIn.ConnMgrLog(), "Release cache=0"));
    }
    standIn.Set(L"NEVERANSWER", L"1");
    standIn.Set(L"STATUSES", nullptr);
    {
        CConnection connection;
        connection.Connect(kUrl, FALSE);
    }
    EXPECT_EQ(2u, Count(standIn.ConnMgrLog(), "Release cache=0"));
}

TEST_F(ConnectionTest, StopDoesNotWaitForAWatchBlockedInTheConnectionManager) {
    standIn.Set(L"ESTABLISHBLOCKMS", L"6000");
    standIn.Set(L"STATUSES", L"0x10");
    {
        CConnection connection;
        ASSERT_EQ(S_OK, connection.Connect(kUrl, FALSE));
        for (int i = 0; i < 500 && Count(standIn.ConnMgrLog(), "Establish params") == 0; ++i) {
            Sleep(10);
        }
    }
    // The object went while its watch thread still sat in the Connection Manager.
    EXPECT_EQ(0u, Count(standIn.ConnMgrLog(), "Establish returns"));
    // That thread then finishes on its own and gives the connection back.
    for (int i = 0; i < 1500 && Count(standIn.ConnMgrLog(), "Release") == 0; ++i) {
        Sleep(10);
    }
    EXPECT_EQ(1u, Count(standIn.ConnMgrLog(), "Establish returns"));
    EXPECT_EQ(1u, Count(standIn.ConnMgrLog(), "Release cache=0"));
}
