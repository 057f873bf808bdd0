#include <gtest/gtest.h>

#include <stdexcept>

#include "RecordingHttpServer.h"
#include "InternetRestProtocolImplementor.h"
#include "TestSupport.h"

// The one slow test: the connection never comes up and GetResource gives up after 20 s.
TEST(ConnectTimeout, NoConnectionRaisesWithoutAskingTheServer) {
    StandInSettings standIn;
    standIn.Set(L"NEVERANSWER", L"1");
    RefService service;
    RecordingHttpServer server(service);
    ASSERT_TRUE(server.Start(0));
    InternetRestProtocolImplementor rest;
    try {
        rest.GetResource(L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/files/x");
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ("Download form url error", error.what());
    }
    EXPECT_EQ(-1, rest.GetConnectionState());
    EXPECT_TRUE(server.Requests().empty());
}
