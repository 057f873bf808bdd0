#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

// The zone the cell log's wall-clock times were written in, to turn them into UTC: the
// machine's zone (by default), a zone of the system's time-zone database by its key name
// ("Central Europe Standard Time"), or a fixed offset. A zone's daylight-saving rules are
// taken per year, so a log across a change of rules or of daylight saving time stays right.
class LocalTimeZone {
public:
    // The machine's zone.
    LocalTimeZone();

    // "+02:00", "-05:30", "+1" or "0"; false for anything else.
    bool SetOffset(const std::wstring& text);
    // A key of HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Time Zones; false when the
    // system does not know it.
    bool SetZone(const std::wstring& keyName);
    // What the zone is, for messages and the files' descriptions.
    std::string Describe() const;

    // The UTC times (seconds since 1970) a wall-clock time can stand for, earlier first: one,
    // or two in the hour that repeats when daylight saving time ends. A time that the change
    // to daylight saving time skipped is taken as standard time.
    int Candidates(int64_t local, int64_t utc[2]);

private:
    struct YearRules {
        int64_t standardOffset; // seconds to add to UTC for local standard time
        int64_t daylightOffset;
        bool daylight;         // the year has daylight saving time
        int64_t daylightStart; // UTC; later than daylightEnd in the southern hemisphere
        int64_t daylightEnd;
    };
    const YearRules& Rules(int year);
    YearRules MakeRules(int year, const TIME_ZONE_INFORMATION& zone) const;

    bool fixed = false;
    int64_t fixedOffset = 0;
    bool dynamic = false; // per-year rules of the system's zone database
    DYNAMIC_TIME_ZONE_INFORMATION dynamicZone = {};
    TIME_ZONE_INFORMATION staticZone = {};
    std::string description;
    std::map<int, YearRules> years;
};
