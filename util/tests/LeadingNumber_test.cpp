#include <gtest/gtest.h>

#include <climits>

#include "LeadingNumber.h"

namespace {

bool Read(const wchar_t* text, long long minimum, long long maximum, long long& value) {
    return ReadLeadingNumber(text, minimum, maximum, value);
}

} // namespace

TEST(LeadingNumber, ReadsLikeStreamExtraction) {
    long long value = 0;
    EXPECT_TRUE(Read(L"  \t42abc", INT_MIN, INT_MAX, value));
    EXPECT_EQ(42, value);
    EXPECT_TRUE(Read(L"-3", INT_MIN, INT_MAX, value));
    EXPECT_EQ(-3, value);
    EXPECT_TRUE(Read(L"+7 8", INT_MIN, INT_MAX, value));
    EXPECT_EQ(7, value);
    EXPECT_TRUE(Read(L"0x10", INT_MIN, INT_MAX, value));
    EXPECT_EQ(0, value);
}

TEST(LeadingNumber, NoDigitsOrOutOfRangeLeaveTheValue) {
    long long value = 99;
    for (const wchar_t* text : {L"", L"  ", L"-", L"+ 1", L"abc", L"2147483648", L"-2147483649",
                                L"99999999999999999999999999"}) {
        EXPECT_FALSE(Read(text, INT_MIN, INT_MAX, value)) << text;
        EXPECT_EQ(99, value) << text;
    }
    EXPECT_TRUE(Read(L"2147483647", INT_MIN, INT_MAX, value));
    EXPECT_EQ(INT_MAX, value);
    EXPECT_TRUE(Read(L"-2147483648", INT_MIN, INT_MAX, value));
    EXPECT_EQ(INT_MIN, value);
    EXPECT_TRUE(Read(L"-9223372036854775808", LLONG_MIN, LLONG_MAX, value));
    EXPECT_EQ(LLONG_MIN, value);
    EXPECT_FALSE(Read(L"9223372036854775808", LLONG_MIN, LLONG_MAX, value));
}
