#include "RadioTap.h"

#include <atomic>
#include <mutex>

#include "ImportPatch.h"
#include "SlimLock.h"
#include "ril.h"

namespace {

const UINT WM_RILUPDATE = WM_USER + 2;
const WPARAM CellUpdate = 2;
const WPARAM NetworkUpdate = 5;

RadioTap::Listener listener;
RILRESULTCALLBACK libraryCallback = nullptr;
SlimLock resultLock;

// The result the radio layer's thread is handing to the library right now. The library passes
// it on to its subscribers only if it takes it as the answer to its latest query of that kind;
// its mailbox then posts the update, and that post tells which kind of result it was.
struct Result {
    const void* data;
    DWORD size;
};
// Set while the lock is held. (No thread_local: the runtime's emulated TLS gives every radio
// thread that meets it a thread record with an event of its own, kept for reuse.)
const Result* current = nullptr;
std::atomic<DWORD> currentThread{0};

std::wstring Decimal(DWORD flags, DWORD flag, DWORD value) {
    if (!(flags & flag)) {
        return L"-1";
    }
    wchar_t text[16];
    wsprintfW(text, L"%i", static_cast<int>(value));
    return text;
}

CellInfo DecodeCell(const RILCELLTOWERINFO& info) {
    return CellInfo(Decimal(info.dwParams, RIL_PARAM_CTI_LOCATIONAREACODE, info.dwLocationAreaCode),
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
    std::lock_guard<SlimLock> hold(resultLock);
    const Result result = {data, size};
    current = &result;
    currentThread = GetCurrentThreadId();
    libraryCallback(code, commandId, data, size, parameter);
    current = nullptr;
    currentThread = 0;
}

BOOL WINAPI TapPostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_RILUPDATE && currentThread == GetCurrentThreadId() && current &&
        current->data) {
        if (wParam == CellUpdate && current->size >= sizeof(RILCELLTOWERINFO) && listener.cell) {
            listener.cell(DecodeCell(*static_cast<const RILCELLTOWERINFO*>(current->data)));
        } else if (wParam == NetworkUpdate && current->size >= sizeof(RILOPERATORNAMES) &&
                   listener.networkId) {
            listener.networkId(
                DecodeNetworkId(*static_cast<const RILOPERATORNAMES*>(current->data)));
        }
    }
    return PostMessageW(window, message, wParam, lParam);
}

HRESULT WINAPI TapInitialize(DWORD index, RILRESULTCALLBACK result, RILNOTIFYCALLBACK notify,
                             DWORD classes, DWORD parameter, HRIL* handle) {
    libraryCallback = result;
    return RIL_Initialize(index, TapResult, notify, classes, parameter, handle);
}

const ImportRedirect redirects[] = {
    {"RIL_Initialize", reinterpret_cast<void*>(TapInitialize)},
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

RadioTap::Hold::Hold() {
    resultLock.lock();
}

RadioTap::Hold::~Hold() {
    resultLock.unlock();
}
