#include "DailyQuota.h"

bool DailyQuota::Take(const SYSTEMTIME& now) {
    if (now.wYear != year || now.wMonth != month || now.wDay != day) {
        year = now.wYear;
        month = now.wMonth;
        day = now.wDay;
        used = 0;
    }
    if (perDay >= 0 && used >= perDay) {
        return false;
    }
    ++used;
    return true;
}
