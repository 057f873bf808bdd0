#include <gtest/gtest.h>

#include "DailyQuota.h"

namespace {

SYSTEMTIME Date(WORD year, WORD month, WORD day, WORD hour = 12) {
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    return time;
}

} // namespace

// The count starts again on any other date, also one with the same day of the month.
TEST(DailyQuota, CountsPerDate) {
    DailyQuota quota(2);
    EXPECT_TRUE(quota.Take(Date(2026, 3, 5, 0)));
    EXPECT_TRUE(quota.Take(Date(2026, 3, 5, 23)));
    EXPECT_FALSE(quota.Take(Date(2026, 3, 5, 23)));
    EXPECT_TRUE(quota.Take(Date(2026, 4, 5)));
    EXPECT_TRUE(quota.Take(Date(2026, 4, 5)));
    EXPECT_FALSE(quota.Take(Date(2026, 4, 5)));
    EXPECT_TRUE(quota.Take(Date(2027, 4, 5)));
    EXPECT_TRUE(quota.Take(Date(2027, 4, 6)));
}

TEST(DailyQuota, NegativeIsUnlimitedAndZeroRefusesAll) {
    DailyQuota unlimited(-1), none(0);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(unlimited.Take(Date(2026, 1, 1)));
    }
    EXPECT_FALSE(none.Take(Date(2026, 1, 1)));
    EXPECT_FALSE(none.Take(Date(2026, 1, 2)));
}
