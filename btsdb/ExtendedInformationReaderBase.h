#pragma once

#include "BtsRecord.h"

#include <string>

// Looks up what is known about the tower that serves a cell.
class ExtendedInformationReaderBase {
public:
    virtual BtsRecord GetExtendedInformation(const std::wstring& lac, const std::wstring& cellId,
                                             const std::wstring& networkId) = 0;
    virtual ~ExtendedInformationReaderBase() = default;
};
