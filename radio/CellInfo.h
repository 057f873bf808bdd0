#pragma once

#include <string>

// The serving cell as text: each field is the decimal value the radio reported, or "-1" when
// it did not report it.
class CellInfo {
public:
    CellInfo() = default;
    CellInfo(std::wstring lac, std::wstring cellId, std::wstring bcch);

    bool operator==(const CellInfo& other) const;
    bool operator!=(const CellInfo& other) const { return !(*this == other); }

    std::wstring lac;
    std::wstring cellId;
    std::wstring bcch;
};
