#include "LocalTimeZone.h"

#include <algorithm>
#include <cstdio>

#include "CivilTime.h"

namespace {

const wchar_t kZonesKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\";

// The layout of a zone's "TZI" value.
struct RegistryZone {
    LONG bias;
    LONG standardBias;
    LONG daylightBias;
    SYSTEMTIME standardDate;
    SYSTEMTIME daylightDate;
};

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; *text; ++text) {
        narrow += *text < 128 ? static_cast<char>(*text) : '?';
    }
    return narrow;
}

// A change of a year, as SYSTEMTIME gives it: the wDay-th (5: the last) wDayOfWeek of wMonth,
// or a fixed date when wYear is set. In the local time that is in force before it.
int64_t ChangeTime(int year, const SYSTEMTIME& rule) {
    int day = rule.wDay;
    if (rule.wYear == 0) {
        const int first = Weekday(DaysFromCivil(year, rule.wMonth, 1));
        day = 1 + (rule.wDayOfWeek - first + 7) % 7 + (rule.wDay - 1) * 7;
        while (day > DaysInMonth(year, rule.wMonth)) {
            day -= 7;
        }
    }
    // 23:59:59.999 stands for midnight.
    return DaysFromCivil(year, rule.wMonth, day) * 86400 + rule.wHour * 3600 + rule.wMinute * 60 +
           rule.wSecond + (rule.wMilliseconds + 500) / 1000;
}

} // namespace

LocalTimeZone::LocalTimeZone() {
    GetTimeZoneInformation(&staticZone);
    dynamic = GetDynamicTimeZoneInformation(&dynamicZone) != TIME_ZONE_ID_INVALID &&
              dynamicZone.TimeZoneKeyName[0] != L'\0';
    description = "the machine's zone";
    if (dynamic) {
        description += " (" + Narrow(dynamicZone.TimeZoneKeyName) + ")";
    }
}

bool LocalTimeZone::SetOffset(const std::wstring& text) {
    int sign = 1;
    size_t at = 0;
    if (!text.empty() && (text[0] == L'+' || text[0] == L'-')) {
        sign = text[0] == L'-' ? -1 : 1;
        at = 1;
    }
    int hours = 0, minutes = 0, digits = 0;
    while (at < text.size() && iswdigit(text[at]) && digits < 2) {
        hours = hours * 10 + (text[at++] - L'0');
        ++digits;
    }
    if (digits == 0) {
        return false;
    }
    if (at < text.size()) {
        at += text[at] == L':';
        if (text.size() - at != 2 || !iswdigit(text[at]) || !iswdigit(text[at + 1])) {
            return false;
        }
        minutes = (text[at] - L'0') * 10 + (text[at + 1] - L'0');
    }
    if (hours > 14 || minutes > 59) {
        return false;
    }
    fixed = true;
    fixedOffset = sign * (hours * 3600 + minutes * 60);
    char name[16];
    std::snprintf(name, sizeof name, "UTC%c%02d:%02d", sign < 0 ? '-' : '+', hours, minutes);
    description = name;
    years.clear();
    return true;
}

bool LocalTimeZone::SetZone(const std::wstring& keyName) {
    const std::wstring key = kZonesKey + keyName;
    RegistryZone zone = {};
    DWORD size = sizeof zone;
    if (keyName.empty() || keyName.size() >= ARRAYSIZE(dynamicZone.TimeZoneKeyName) ||
        keyName.find(L'\\') != std::wstring::npos ||
        RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"TZI", RRF_RT_REG_BINARY, nullptr, &zone,
                     &size) != ERROR_SUCCESS ||
        size != sizeof zone) {
        return false;
    }
    staticZone = {};
    staticZone.Bias = zone.bias;
    staticZone.StandardBias = zone.standardBias;
    staticZone.DaylightBias = zone.daylightBias;
    staticZone.StandardDate = zone.standardDate;
    staticZone.DaylightDate = zone.daylightDate;
    dynamicZone = {};
    dynamicZone.Bias = zone.bias;
    dynamicZone.StandardBias = zone.standardBias;
    dynamicZone.DaylightBias = zone.daylightBias;
    dynamicZone.StandardDate = zone.standardDate;
    dynamicZone.DaylightDate = zone.daylightDate;
    std::copy(keyName.begin(), keyName.end(), dynamicZone.TimeZoneKeyName);
    dynamic = true;
    fixed = false;
    description = Narrow(keyName.c_str());
    years.clear();
    return true;
}

std::string LocalTimeZone::Describe() const {
    return description;
}

LocalTimeZone::YearRules LocalTimeZone::MakeRules(int year,
                                                  const TIME_ZONE_INFORMATION& zone) const {
    YearRules rules;
    rules.standardOffset = -int64_t(zone.Bias + zone.StandardBias) * 60;
    rules.daylightOffset = -int64_t(zone.Bias + zone.DaylightBias) * 60;
    rules.daylight = zone.DaylightDate.wMonth != 0 && zone.StandardDate.wMonth != 0 &&
                     rules.daylightOffset != rules.standardOffset;
    rules.daylightStart = rules.daylightEnd = 0;
    if (rules.daylight) {
        rules.daylightStart = ChangeTime(year, zone.DaylightDate) - rules.standardOffset;
        rules.daylightEnd = ChangeTime(year, zone.StandardDate) - rules.daylightOffset;
    }
    return rules;
}

const LocalTimeZone::YearRules& LocalTimeZone::Rules(int year) {
    auto found = years.find(year);
    if (found == years.end()) {
        TIME_ZONE_INFORMATION zone = staticZone;
        if (dynamic && year > 1600 && year < 10000) {
            TIME_ZONE_INFORMATION forYear;
            if (GetTimeZoneInformationForYear(static_cast<USHORT>(year), &dynamicZone, &forYear)) {
                zone = forYear;
            }
        }
        found = years.emplace(year, MakeRules(year, zone)).first;
    }
    return found->second;
}

int LocalTimeZone::Candidates(int64_t local, int64_t utc[2]) {
    if (fixed) {
        utc[0] = local - fixedOffset;
        return 1;
    }
    const YearRules& rules = Rules(CivilFromSeconds(local).year);
    const int64_t asStandard = local - rules.standardOffset;
    if (!rules.daylight) {
        utc[0] = asStandard;
        return 1;
    }
    auto isDaylight = [&rules](int64_t time) {
        return rules.daylightStart < rules.daylightEnd
                   ? time >= rules.daylightStart && time < rules.daylightEnd
                   : time >= rules.daylightStart || time < rules.daylightEnd;
    };
    const int64_t asDaylight = local - rules.daylightOffset;
    int count = 0;
    if (isDaylight(asDaylight)) {
        utc[count++] = asDaylight;
    }
    if (!isDaylight(asStandard)) {
        utc[count++] = asStandard;
    }
    if (count == 0) {
        utc[count++] = asStandard;
    }
    if (count == 2 && utc[1] < utc[0]) {
        std::swap(utc[0], utc[1]);
    }
    return count;
}
