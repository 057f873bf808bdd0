// Wall-clock times of a log to UTC: the system's own conversion agrees all year round, across
// both changes of daylight saving time, in zones north and south of the equator.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "CivilTime.h"
#include "LocalTimeZone.h"

namespace {

SYSTEMTIME SystemTimeOf(int64_t seconds) {
    const CivilTime civil = CivilFromSeconds(seconds);
    SYSTEMTIME time = {};
    time.wYear = static_cast<WORD>(civil.year);
    time.wMonth = static_cast<WORD>(civil.month);
    time.wDay = static_cast<WORD>(civil.day);
    time.wHour = static_cast<WORD>(civil.hour);
    time.wMinute = static_cast<WORD>(civil.minute);
    time.wSecond = static_cast<WORD>(civil.second);
    return time;
}

int64_t SecondsOf(const SYSTEMTIME& time) {
    return SecondsFromCivil(
        {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond});
}

} // namespace

TEST(LocalTimeZoneTest, EveryHalfHourOfTheYearComesBackAsTheSystemShowsIt) {
    const struct {
        const wchar_t* name;
        bool daylightSaving;
    } zones[] = {{L"Central Europe Standard Time", true},
                 {L"Eastern Standard Time", true},
                 {L"AUS Eastern Standard Time", true},
                 {L"India Standard Time", false}};
    for (const auto& zone : zones) {
        LocalTimeZone local;
        ASSERT_TRUE(local.SetZone(zone.name));
        DYNAMIC_TIME_ZONE_INFORMATION dynamic = {};
        wcscpy(dynamic.TimeZoneKeyName, zone.name);
        for (int year : {2008, 2026}) {
            TIME_ZONE_INFORMATION rules;
            ASSERT_TRUE(GetTimeZoneInformationForYear(static_cast<USHORT>(year), &dynamic, &rules));
            int repeated = 0;
            // From two days into the year to two days before its end: the local year is the
            // same as the UTC year.
            for (int64_t utc = DaysFromCivil(year, 1, 3) * 86400;
                 utc < DaysFromCivil(year, 12, 29) * 86400; utc += 1800) {
                const SYSTEMTIME universal = SystemTimeOf(utc);
                SYSTEMTIME shown;
                ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(&rules, &universal, &shown));
                int64_t candidates[2];
                const int count = local.Candidates(SecondsOf(shown), candidates);
                repeated += count == 2;
                ASSERT_TRUE(candidates[0] == utc || (count == 2 && candidates[1] == utc))
                    << local.Describe() << " at " << utc;
            }
            // The repeated hour: two wall-clock half hours, each met twice.
            EXPECT_EQ(zone.daylightSaving ? 4 : 0, repeated) << local.Describe() << " " << year;
        }
    }
}

TEST(LocalTimeZoneTest, FixedOffsetsAndUnknownZones) {
    LocalTimeZone zone;
    int64_t utc[2];
    const int64_t noon = DaysFromCivil(2026, 7, 1) * 86400 + 12 * 3600;
    const struct {
        const wchar_t* text;
        int64_t offset;
    } offsets[] = {
        {L"+01:00", 3600}, {L"-05:30", -19800}, {L"+5", 18000}, {L"0", 0}, {L"+0545", 20700}};
    for (const auto& offset : offsets) {
        ASSERT_TRUE(zone.SetOffset(offset.text)) << offset.text;
        ASSERT_EQ(1, zone.Candidates(noon, utc));
        EXPECT_EQ(noon - offset.offset, utc[0]) << offset.text;
    }
    for (const wchar_t* bad : {L"", L"+", L"+1:5", L"+15:00", L"+01:60", L"abc", L"+01:00x"}) {
        EXPECT_FALSE(zone.SetOffset(bad)) << bad;
    }
    EXPECT_EQ("UTC+05:45", zone.Describe());
    EXPECT_FALSE(zone.SetZone(L"Europe/Prague"));
    EXPECT_FALSE(zone.SetZone(L"..\\Time Zones"));
    EXPECT_FALSE(zone.SetZone(L""));
}
