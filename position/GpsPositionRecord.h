#pragma once

#include <sstream>
#include <string>

#include "CellInfo.h"
#include "IGpsPositionService.h"

// What the GPS page keeps of the last finished request.
struct GpsPositionRecord {
    GpsPositionResult result;
    CellInfo cell;
    bool success = false;
};

// The service's error code text as a number, read as a stream would (leading blanks, sign,
// digits up to the first other character); fallback when no number can be read.
inline int ErrorCodeNumber(const std::wstring& text, int fallback) {
    std::wistringstream stream(text);
    int code = 0;
    if (!(stream >> code)) {
        return fallback;
    }
    return code;
}
