#include "CellInfo.h"

#include <utility>

CellInfo::CellInfo(std::wstring lac, std::wstring cellId, std::wstring bcch)
    : lac(std::move(lac)), cellId(std::move(cellId)), bcch(std::move(bcch)) {}

bool CellInfo::operator==(const CellInfo& other) const {
    return lac == other.lac && cellId == other.cellId && bcch == other.bcch;
}
