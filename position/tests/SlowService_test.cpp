// A web service that never answers, answers a byte at a time or answers far too much: the
// request gives up with the download error instead of holding its thread for ever or taking
// the whole answer into memory.

// winsock2.h (through FaultServer.h) must come before windows.h.
#include "FaultServer.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "InternetRestProtocolImplementor.h"
#include "TestSupport.h"

namespace {

class SlowService : public ::testing::Test {
protected:
    void SetUp() override {
        service.Cells().AddCsv("radio,mcc,net,area,cell,unit,lon,lat,range\n"
                               "GSM,230,1,100,1001,0,14.4,50.1,100\n");
        ASSERT_TRUE(server.Start(0));
        url = L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/map?lat=50&lon=14";
    }
    // True when GetResource raised the download error.
    bool GivesUp(FaultServer::Mode mode) {
        server.SetMode(mode);
        InternetRestProtocolImplementor rest;
        rest.SetLimits(1000, 1000);
        try {
            rest.GetResource(url);
        } catch (const std::runtime_error& error) {
            return std::string("Download form url error") == error.what();
        }
        return false;
    }

    StandInSettings standIn;
    RefService service;
    FaultServer server{service};
    std::wstring url;
};

} // namespace

TEST_F(SlowService, SilenceATrickleAndAHugeAnswerEndInTheDownloadError) {
    server.SetTrickleMs(20);
    EXPECT_TRUE(GivesUp(FaultServer::Mode::Silent));
    EXPECT_TRUE(GivesUp(FaultServer::Mode::Trickle));
    EXPECT_TRUE(GivesUp(FaultServer::Mode::Huge));
    // The same request is answered whole once the service behaves.
    EXPECT_FALSE(GivesUp(FaultServer::Mode::Normal));
}
