#include "RadioTap.h"

#include <atomic>

#include "ImportPatch.h"
#include "ril.h"

namespace {

const UINT WM_RILUPDATE = WM_USER + 2;
const WPARAM CellUpdate = 2;
const WPARAM NetworkUpdate = 5;

RadioTap::Listener listener;
// The value of the result the radio layer's thread is handing to the library right now. The
// library passes it on to its subscribers only if it takes the result as the answer to its
// latest query; its mailbox then posts the update, and that post is what reports it here.
thread_local const CellInfo* resultCell = nullptr;
thread_local const std::wstring* resultNetworkId = nullptr;
RILRESULTCALLBACK libraryCallback = nullptr;
std::atomic<HRESULT> cellQuery{0};
std::atomic<HRESULT> operatorQuery{0};
std::atomic<unsigned long> openFailures{0};
std::atomic<unsigned long> failedResults{0};

bool Claim(std::atomic<HRESULT>& query, HRESULT commandId) {
    HRESULT expected = commandId;
    return commandId != 0 && query.compare_exchange_strong(expected, 0);
}

std::wstring Decimal(DWORD flags, DWORD flag, DWORD value) {
    if (!(flags & flag)) {
        return L"-1";
    }
    wchar_t text[16];
    wsprintfW(text, L"%i", static_cast<int>(value));
    return text;
}

CellInfo DecodeCell(const RILCELLTOWERINFO& info) {
    return CellInfo(
        Decimal(info.dwParams, RIL_PARAM_CTI_LOCATIONAREACODE, info.dwLocationAreaCode),
        Decimal(info.dwParams, RIL_PARAM_CTI_CELLID, info.dwCellID),
        Decimal(info.dwParams, RIL_PARAM_CTI_NUMBCCH, info.dwNumBCCH));
}

std::wstring DecodeNetworkId(const RILOPERATORNAMES& names) {
    if (!(names.dwParams & RIL_PARAM_ON_NUMNAME)) {
        return L"-----";
    }
    char numeric[MAXLENGTH_OPERATOR_NUMERIC + 1] = {};
    memcpy(numeric, names.szNumName, MAXLENGTH_OPERATOR_NUMERIC);
    wchar_t wide[MAXLENGTH_OPERATOR_NUMERIC + 1] = {};
    if (!MultiByteToWideChar(CP_OEMCP, 0, numeric, -1, wide, MAXLENGTH_OPERATOR_NUMERIC + 1) ||
        lstrlenW(wide) != 5) {
        return L"-----";
    }
    return wide;
}

void CALLBACK TapResult(DWORD code, HRESULT commandId, const void* data, DWORD size,
                        DWORD parameter) {
    // Only a result the tap has seen asked for can be the library's: the tap learns a query's
    // id before the library does.
    bool cell = Claim(cellQuery, commandId);
    bool network = !cell && Claim(operatorQuery, commandId);
    bool ok = code == RIL_RESULT_OK && data;
    if ((cell || network) && !ok) {
        ++failedResults;
    }
    CellInfo decodedCell;
    std::wstring decodedId;
    if (ok && cell && size >= sizeof(RILCELLTOWERINFO)) {
        decodedCell = DecodeCell(*static_cast<const RILCELLTOWERINFO*>(data));
        resultCell = &decodedCell;
    } else if (ok && network && size >= sizeof(RILOPERATORNAMES)) {
        decodedId = DecodeNetworkId(*static_cast<const RILOPERATORNAMES*>(data));
        resultNetworkId = &decodedId;
    }
    libraryCallback(code, commandId, data, size, parameter);
    resultCell = nullptr;
    resultNetworkId = nullptr;
}

BOOL WINAPI TapPostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_RILUPDATE && wParam == CellUpdate && resultCell) {
        if (listener.cell) {
            listener.cell(*resultCell);
        }
        resultCell = nullptr;
    } else if (message == WM_RILUPDATE && wParam == NetworkUpdate && resultNetworkId) {
        if (listener.networkId) {
            listener.networkId(*resultNetworkId);
        }
        resultNetworkId = nullptr;
    }
    return PostMessageW(window, message, wParam, lParam);
}

HRESULT WINAPI TapInitialize(DWORD index, RILRESULTCALLBACK result, RILNOTIFYCALLBACK notify,
                             DWORD classes, DWORD parameter, HRIL* handle) {
    libraryCallback = result;
    HRESULT hr = RIL_Initialize(index, TapResult, notify, classes, parameter, handle);
    if (FAILED(hr)) {
        ++openFailures;
    }
    return hr;
}

HRESULT WINAPI TapGetCellTowerInfo(HRIL handle) {
    HRESULT id = RIL_GetCellTowerInfo(handle);
    cellQuery = id;
    return id;
}

HRESULT WINAPI TapGetCurrentOperator(HRIL handle, DWORD format) {
    HRESULT id = RIL_GetCurrentOperator(handle, format);
    operatorQuery = id;
    return id;
}

const ImportRedirect redirects[] = {
    {"RIL_Initialize", reinterpret_cast<void*>(TapInitialize)},
    {"RIL_GetCellTowerInfo", reinterpret_cast<void*>(TapGetCellTowerInfo)},
    {"RIL_GetCurrentOperator", reinterpret_cast<void*>(TapGetCurrentOperator)},
    {"PostMessageW", reinterpret_cast<void*>(TapPostMessageW)},
};

} // namespace

bool RadioTap::Patch(HMODULE library) {
    if (ImportedAddress(library, "RIL_Initialize") == reinterpret_cast<void*>(TapInitialize)) {
        return false;
    }
    RedirectImports(library, redirects, sizeof(redirects) / sizeof(redirects[0]));
    return true;
}

void RadioTap::SetListener(Listener newListener) {
    listener = std::move(newListener);
}

unsigned long RadioTap::OpenFailures() {
    return openFailures;
}

unsigned long RadioTap::FailedResults() {
    return failedResults;
}
