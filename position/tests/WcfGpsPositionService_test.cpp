#include <gtest/gtest.h>

#include <random>

#include "RecordingHttpServer.h"
#include "TestSupport.h"
#include "WcfGpsPositionService.h"

namespace {

const char kReply0[] =
    "<GsmQueryResult xmlns=\"http://schemas.datacontract.org/2004/07/K\" "
    "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\"><ErrorCode>0</ErrorCode>"
    "<GpsPosition xmlns:a=\"http://schemas.datacontract.org/2004/07/K.Gps\">"
    "<a:LAT>50.087465</a:LAT><a:LON>14.421254</a:LON></GpsPosition></GsmQueryResult>";

GpsPositionResult Parse(const std::string& reply, bool* ok = nullptr) {
    GpsPositionResult result{L"unset", L"lat", L"lon"};
    bool parsed = WcfGpsPositionService::ParseReply(reply, result);
    if (ok) {
        *ok = parsed;
    }
    return result;
}

} // namespace

TEST(WcfGpsPositionService, BuildRequestUrlFillsFirstOccurrences) {
    EXPECT_EQ(L"http://h/q?keyName=me&hash=HH&networkCode=23001&lac=100&cellId=1001",
              WcfGpsPositionService::BuildRequestUrl(
                  L"http://h/q?keyName={APPNAME}&hash={HASH}&networkCode={NC}&lac={LAC}"
                  L"&cellId={CELLID}",
                  L"HH", L"me", L"23001", L"100", L"1001"));
    EXPECT_EQ(L"/q?a=23001&b={NC}", WcfGpsPositionService::BuildRequestUrl(
                                        L"/q?a={NC}&b={NC}", L"H", L"me", L"23001", L"1", L"2"));
    EXPECT_EQ(L"/q?k=me&c=2", WcfGpsPositionService::BuildRequestUrl(
                                  L"/q?k={APPNAME}&c={CELLID}", L"H", L"me", L"23001", L"1", L"2"));
    // Values go in as they are, without percent-encoding.
    EXPECT_EQ(L"/q?k=a b&c", WcfGpsPositionService::BuildRequestUrl(L"/q?k={APPNAME}", L"",
                                                                    L"a b&c", L"", L"", L""));
}

TEST(WcfGpsPositionService, ParseReplyCases) {
    bool ok = false;
    GpsPositionResult found = Parse(kReply0, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(L"0", found.errorCode);
    EXPECT_EQ(L"50.087465", found.latitude);
    EXPECT_EQ(L"14.421254", found.longitude);

    GpsPositionResult quota = Parse("<r><ErrorCode>3</ErrorCode></r>", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(L"3", quota.errorCode);
    EXPECT_EQ(L"lat", quota.latitude);

    Parse("<r><ErrorCode>0</ErrorCode><GpsPosition><a:LAT>1</a:LAT><LON>2</LON></GpsPosition>"
          "</r>",
          &ok);
    EXPECT_FALSE(ok);

    GpsPositionResult text = Parse("<r><ErrorCode>chyba</ErrorCode></r>", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(L"chyba", text.errorCode);
    EXPECT_EQ(L"lon", text.longitude);

    Parse("Service Unavailable", &ok);
    EXPECT_FALSE(ok);
    Parse("<?xml version=\"1.0\"?><r><ErrorCode>0</ErrorCode>", &ok);
    EXPECT_FALSE(ok);
    Parse("", &ok);
    EXPECT_FALSE(ok);
    Parse("<r><ErrorCode/></r>", &ok);
    EXPECT_FALSE(ok);
}

TEST(WcfGpsPositionService, MutatedRepliesAreReadOrRefused) {
    std::mt19937 random(5200);
    const char pieces[] = "<>/&#;:\"aLATON0123456789 ";
    for (int round = 0; round < 2000; ++round) {
        std::string reply = kReply0;
        for (int e = 1 + random() % 6; e > 0; --e) {
            size_t at = random() % reply.size();
            if (random() % 2) {
                reply.erase(at, 1 + random() % 3);
            } else {
                reply.insert(at, 1, pieces[random() % (sizeof(pieces) - 1)]);
            }
        }
        GpsPositionResult result;
        if (WcfGpsPositionService::ParseReply(reply, result)) {
            EXPECT_LE(result.errorCode.size(), reply.size());
        }
    }
}

namespace {

class ServiceEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        service.Cells().AddCsv("GSM,230,1,100,1001,0,14.421254,50.087465,800\n");
        service.AddKey("user@example", "Tajný-Kód");
        service.AddKey("once@example", "ONCE", 1);
        ASSERT_TRUE(server.Start(0));
        url = L"http://127.0.0.1:" + std::to_wstring(server.Port()) +
              L"/KestrelService.Svc/GSMTEST/GsmQuery?keyName={APPNAME}&hash={HASH}"
              L"&networkCode={NC}&lac={LAC}&cellId={CELLID}";
    }
    GpsPositionResult Ask(const std::wstring& email, const std::wstring& key,
                          const std::wstring& lac, const std::wstring& cell) {
        WcfGpsPositionService client;
        client.SetAppEmail(email);
        client.SetAppKey(key);
        client.SetServiceUrl(url);
        GpsPositionResult result;
        client.GetPosition(CellInfo(lac, cell, L"-1"), L"23001", result);
        return result;
    }

    StandInSettings standIn;
    RefService service;
    RecordingHttpServer server{service};
    std::wstring url;
};

} // namespace

TEST_F(ServiceEndToEnd, PositionAndEveryServiceCode) {
    GpsPositionResult found = Ask(L"user@example", L"Tajný-Kód", L"100", L"1001");
    EXPECT_EQ(L"0", found.errorCode);
    EXPECT_EQ(L"50.087465", found.latitude);
    EXPECT_EQ(L"14.421254", found.longitude);
    EXPECT_EQ(L"1", Ask(L"user@example", L"Jiný", L"100", L"1001").errorCode);
    EXPECT_EQ(L"2", Ask(L"user@example", L"Tajný-Kód", L"x", L"1001").errorCode);
    EXPECT_EQ(L"1001", Ask(L"user@example", L"Tajný-Kód", L"100", L"4242").errorCode);
    EXPECT_EQ(L"0", Ask(L"once@example", L"ONCE", L"100", L"1001").errorCode);
    EXPECT_EQ(L"3", Ask(L"once@example", L"ONCE", L"100", L"1001").errorCode);

    auto requests = server.Requests();
    ASSERT_EQ(6u, requests.size());
    for (const auto& request : requests) {
        EXPECT_EQ(std::string::npos, request.find("Tajn")) << request;
        EXPECT_EQ(std::string::npos, request.find("ONCE")) << request;
    }
}

TEST_F(ServiceEndToEnd, ClientFailuresEndAsMinus1000) {
    // 999 UTF-8 bytes are hashed and sent; 1000 never leave the phone.
    EXPECT_EQ(L"1", Ask(L"user@example", std::wstring(996, L'k'), L"100", L"123").errorCode);
    EXPECT_EQ(L"-1000", Ask(L"user@example", std::wstring(997, L'k'), L"100", L"123").errorCode);
    EXPECT_EQ(1u, server.Requests().size());

    standIn.Set(L"FAILSTATUS", L"0x21");
    EXPECT_EQ(L"-1000", Ask(L"user@example", L"Tajný-Kód", L"100", L"1001").errorCode);
    standIn.Set(L"FAILSTATUS", nullptr);

    server.Stop();
    GpsPositionResult result = Ask(L"user@example", L"Tajný-Kód", L"100", L"1001");
    EXPECT_EQ(L"-1000", result.errorCode);
    EXPECT_EQ(L"", result.latitude);
}
