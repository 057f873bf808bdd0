#pragma once

#include <windows.h>

// A key's requests per day: the count starts again on every other date (year, month and day).
class DailyQuota {
public:
    // perDay negative: unlimited.
    explicit DailyQuota(int perDay = -1) : perDay(perDay) {}

    // Takes one request made on the date of `now`; false when that date's are used up.
    bool Take(const SYSTEMTIME& now);

private:
    int perDay;
    int used = 0;
    WORD year = 0;
    WORD month = 0;
    WORD day = 0;
};
