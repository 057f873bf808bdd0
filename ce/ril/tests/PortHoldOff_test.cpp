#include <gtest/gtest.h>

#include "PortHoldOff.h"

// A port that made RIL_Initialize wait and failed is held a while, longer each time; a port that
// fails at once or opens is not.

TEST(PortHoldOff, ASlowFailureHoldsThePortLongerEachTimeAcrossTheTickCountsWrap) {
    PortHoldOff holdOff;
    const DWORD began = 0xFFFFF000u; // the tick count wraps during the holds
    DWORD now = began + 3000;
    holdOff.Failed(L"COM4", began, now);
    EXPECT_TRUE(holdOff.Held(L"COM4", now + PortHoldOff::FIRST_MS - 1));
    EXPECT_FALSE(holdOff.Held(L"COM4", now + PortHoldOff::FIRST_MS));
    EXPECT_FALSE(holdOff.Held(L"COM5", now));

    DWORD length = PortHoldOff::FIRST_MS;
    for (int i = 0; i < 6; ++i) {
        now += length;
        holdOff.Failed(L"COM4", now - 3000, now);
        length = length * 2 > PortHoldOff::MAX_MS ? PortHoldOff::MAX_MS : length * 2;
        EXPECT_TRUE(holdOff.Held(L"COM4", now + length - 1)) << i;
        EXPECT_FALSE(holdOff.Held(L"COM4", now + length)) << i;
    }
    EXPECT_EQ(PortHoldOff::MAX_MS, length);

    // Unplugged: it fails at once, and the modem plugged in is tried at the next poll.
    holdOff.Failed(L"COM4", now, now + 10);
    EXPECT_FALSE(holdOff.Held(L"COM4", now + 10));
    holdOff.Failed(L"COM4", now, now + 3000);
    holdOff.Opened(L"COM4");
    EXPECT_FALSE(holdOff.Held(L"COM4", now + 3000));
}
