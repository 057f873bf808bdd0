#pragma once

#include <climits>
#include <string>

#include "CellInfo.h"
#include "IGpsPositionService.h"
#include "LeadingNumber.h"

// What the GPS page keeps of the last finished request.
struct GpsPositionRecord {
    GpsPositionResult result;
    CellInfo cell;
    bool success = false;
};

// The service's error code text as a number, read as a stream would (leading blanks, sign,
// digits up to the first other character); fallback when no number can be read.
inline int ErrorCodeNumber(const std::wstring& text, int fallback) {
    long long code = 0;
    if (!ReadLeadingNumber(text, INT_MIN, INT_MAX, code)) {
        return fallback;
    }
    return static_cast<int>(code);
}
