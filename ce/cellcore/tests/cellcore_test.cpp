#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "connmgr.h"
#include "connmgr_proxy.h"

namespace {

class ConnMgrStandIn : public ::testing::Test {
protected:
    void TearDown() override {
        for (const wchar_t* name : {L"STATUSES", L"CONNECTDELAYMS", L"FAILSTATUS", L"PROXYSERVER",
                                    L"PROXYTYPE", L"MAPURLRESULT", L"NEVERANSWER"}) {
            SetEnvironmentVariableW((std::wstring(L"KESTREL_CONNMGR_") + name).c_str(), nullptr);
        }
    }
    static void Set(const wchar_t* name, const wchar_t* value) {
        SetEnvironmentVariableW((std::wstring(L"KESTREL_CONNMGR_") + name).c_str(), value);
    }
    static HANDLE Establish() {
        GUID network;
        EXPECT_EQ(S_OK, ConnMgrMapURL(L"http://127.0.0.1/", &network, nullptr));
        CONNMGR_CONNECTIONINFO info = {};
        info.cbSize = sizeof(info);
        info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
        info.guidDestNet = network;
        HANDLE connection = nullptr;
        EXPECT_EQ(S_OK, ConnMgrEstablishConnection(&info, &connection));
        return connection;
    }
    static std::vector<DWORD> Read(HANDLE connection, size_t count) {
        std::vector<DWORD> seen;
        while (seen.size() < count && WaitForSingleObject(connection, 10000) == WAIT_OBJECT_0) {
            DWORD status = 0;
            EXPECT_EQ(S_OK, ConnMgrConnectionStatus(connection, &status));
            seen.push_back(status);
        }
        return seen;
    }
};

} // namespace

TEST_F(ConnMgrStandIn, DefaultConnectsAfterWaiting) {
    Set(L"CONNECTDELAYMS", L"10");
    HANDLE connection = Establish();
    EXPECT_EQ((std::vector<DWORD>{0x40, 0x10}), Read(connection, 2));
    EXPECT_EQ(S_OK, ConnMgrReleaseConnection(connection, 0));
}

TEST_F(ConnMgrStandIn, ScriptedStatusesArriveWholeAndInOrder) {
    Set(L"STATUSES", L"0x10,0x11,0x80,0x81,0x20");
    Set(L"CONNECTDELAYMS", L"0");
    HANDLE connection = Establish();
    EXPECT_EQ((std::vector<DWORD>{0x10, 0x11, 0x80, 0x81, 0x20}), Read(connection, 5));
    EXPECT_EQ(S_OK, ConnMgrReleaseConnection(connection, 1));
    EXPECT_EQ(E_INVALIDARG, ConnMgrReleaseConnection(connection, 1));
}

TEST_F(ConnMgrStandIn, FailureStatusAndRefusedMapping) {
    Set(L"FAILSTATUS", L"0x21");
    Set(L"CONNECTDELAYMS", L"0");
    HANDLE connection = Establish();
    EXPECT_EQ((std::vector<DWORD>{0x40, 0x21}), Read(connection, 2));
    ConnMgrReleaseConnection(connection, 0);

    Set(L"MAPURLRESULT", L"0x80004005");
    GUID network;
    EXPECT_EQ(E_FAIL, ConnMgrMapURL(L"http://x/", &network, nullptr));
}

TEST_F(ConnMgrStandIn, ProxyReportedThroughTheExtension) {
    Set(L"NEVERANSWER", L"1");
    HANDLE connection = Establish();
    PROXY_CONFIG config = {};
    config.dwType = CONNMGR_FLAG_PROXY_HTTP;
    EXPECT_EQ(E_FAIL, ConnMgrProviderMessage(connection, &IID_ConnPrv_IProxyExtension, nullptr, 0,
                                             0, reinterpret_cast<PBYTE>(&config), sizeof(config)));
    Set(L"PROXYSERVER", L"proxy.example:8080");
    EXPECT_EQ(E_FAIL, ConnMgrProviderMessage(connection, &IID_ConnPrv_IProxyExtension, nullptr, 0,
                                             0, reinterpret_cast<PBYTE>(&config), sizeof(config)));
    // Settings are taken when the connection is made: the new proxy shows on the next one.
    ConnMgrReleaseConnection(connection, 0);
    connection = Establish();
    EXPECT_EQ(S_OK, ConnMgrProviderMessage(connection, &IID_ConnPrv_IProxyExtension, nullptr, 0, 0,
                                           reinterpret_cast<PBYTE>(&config), sizeof(config)));
    EXPECT_EQ(1u, config.dwType);
    EXPECT_STREQ(L"proxy.example:8080", config.szProxyServer);
    EXPECT_EQ(1288u, sizeof(PROXY_CONFIG));
    ConnMgrReleaseConnection(connection, 0);
}
