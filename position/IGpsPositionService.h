#pragma once

#include <string>

#include "CellInfo.h"

// The web service's answer: error code text, and the coordinates as text on success.
struct GpsPositionResult {
    std::wstring errorCode;
    std::wstring latitude;
    std::wstring longitude;
};

class IGpsPositionService {
public:
    virtual ~IGpsPositionService() = default;
    // Never throws; errorCode is set in every case, the coordinates only on success.
    virtual void GetPosition(const CellInfo& cell, const std::wstring& networkCode,
                             GpsPositionResult& result) = 0;
};
