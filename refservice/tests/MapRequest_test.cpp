// What /map answers to parameters a user or a program may get wrong.

#include <gtest/gtest.h>

#include <string>

#include "RefService.h"

TEST(MapRequest, BadParametersAreNamedInA400) {
    RefService service;
    const struct {
        const char* query;
        const char* named;
    } bad[] = {
        {"lon=14.4", "lat"},
        {"lat=85.06&lon=14.4", "lat"},
        {"lat=-90&lon=14.4", "lat"},
        {"lat=abc&lon=14.4", "lat"},
        {"lat=nan&lon=14.4", "lat"},
        {"lat=1e400&lon=14.4", "lat"},
        {"lat=0x10&lon=14.4", "lat"},
        {"lat=50&lon=", "lon"},
        {"lat=50&lon=inf", "lon"},
        {"lat=50", "lon"},
        {"lat=50&lon=14&w=-240", "w"},
        {"lat=50&lon=14&w=100000000", "w"},
        {"lat=50&lon=14&w=12.5", "w"},
        {"lat=50&lon=14&h=0", "h"},
        {"lat=50&lon=14&h=99999999999999999999999999999999999", "h"},
        {"lat=50&lon=14&z=30", "z"},
        {"lat=50&lon=14&z=-1", "z"},
        {"lat=50&lon=14&scale=9", "scale"},
    };
    for (const auto& request : bad) {
        HttpReply reply = service.Handle(std::string("/map?") + request.query);
        EXPECT_EQ(400, reply.status) << request.query;
        EXPECT_EQ(0u, reply.body.find(std::string("bad parameter ") + request.named + ":"))
            << request.query << ": " << reply.body;
    }
}

TEST(MapRequest, LongitudeIsTakenRoundAndLimitsAreAccepted) {
    RefService service;
    const std::string east = service.Handle("/map?lat=50.08&lon=14.42&z=12").body;
    EXPECT_EQ(east, service.Handle("/map?lat=50.08&lon=374.42&z=12").body);
    EXPECT_EQ(east, service.Handle("/map?lat=50.08&lon=-345.58&z=12").body);
    for (const char* query : {"lat=85.0511&lon=-180&z=2", "lat=-85.0511&lon=179.99&z=18",
                              "lat=0&lon=0&w=16&h=16", "lat=0&lon=0&w=1024&h=1024&scale=3"}) {
        HttpReply reply = service.Handle(std::string("/map?") + query);
        EXPECT_EQ(200, reply.status) << query << ": " << reply.body;
        EXPECT_EQ(0u, reply.body.find("\x89PNG\r\n\x1a\n")) << query;
    }
}
