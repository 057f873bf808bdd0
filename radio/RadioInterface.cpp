#include "RadioInterface.h"

#include <windows.h>

#include <atomic>
#include <vector>

#include "ril.h"

const wchar_t* const NO_NETWORK_ID = L"-----";

namespace {

const DWORD NOTIFICATION_CLASSES = 0x80C20007;
const DWORD REQUEST_START = 26;
const DWORD REQUEST_STOP = 27;
const wchar_t* const INIT_ERROR = L"Nepodařilo se inicializovat knihovnu RIL";

// Read on the radio layer's thread when a cell arrives.
std::atomic<bool> initialised{false};
bool equipmentByNotification = false;
bool signalByNotification = false;
HRIL handle = nullptr;
// Written on the window thread, read and cleared on the radio layer's thread.
std::atomic<HRESULT> pendingCellTower{0};
std::atomic<HRESULT> pendingOperator{0};
std::atomic<HRESULT> pendingEquipment{0};
std::atomic<HRESULT> pendingSignal{0};
std::vector<RilSubscriber*> subscribers;
int checkInterval = 5;

// Clears the pending id if it is the one that answered.
bool Claim(std::atomic<HRESULT>& pending, HRESULT commandId) {
    HRESULT expected = commandId;
    return commandId != 0 && pending.compare_exchange_strong(expected, 0);
}

template <typename Call> void NotifyAll(Call call) {
    // The length is re-read after each call.
    for (size_t i = 0; i < subscribers.size(); ++i) {
        call(subscribers[i]);
    }
}

std::wstring Decimal(DWORD value) {
    wchar_t text[16];
    wsprintfW(text, L"%i", static_cast<int>(value));
    return text;
}

// OEM code page to wide text; false leaves target unchanged.
bool Widen(const char* text, std::wstring& target) {
    size_t length = strlen(text);
    HANDLE heap = GetProcessHeap();
    auto buffer =
        static_cast<wchar_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, (length + 1) * sizeof(wchar_t)));
    if (!buffer) {
        return false;
    }
    bool converted =
        MultiByteToWideChar(CP_OEMCP, 0, text, -1, buffer, static_cast<int>(length + 1)) != 0;
    if (converted) {
        target = buffer;
    }
    HeapFree(heap, 0, buffer);
    return converted;
}

void OnCellTower(const RILCELLTOWERINFO& info) {
    CellInfo cell(
        (info.dwParams & RIL_PARAM_CTI_LOCATIONAREACODE) ? Decimal(info.dwLocationAreaCode) : L"-1",
        (info.dwParams & RIL_PARAM_CTI_CELLID) ? Decimal(info.dwCellID) : L"-1",
        (info.dwParams & RIL_PARAM_CTI_NUMBCCH) ? Decimal(info.dwNumBCCH) : L"-1");
    if (initialised) {
        NotifyAll([&](RilSubscriber* s) { s->OnCellInfo(cell); });
    }
}

void OnOperator(const RILOPERATORNAMES& names) {
    std::wstring networkId = NO_NETWORK_ID;
    if (names.dwParams & RIL_PARAM_ON_NUMNAME) {
        // The field need not be terminated by the radio layer.
        char numName[MAXLENGTH_OPERATOR_NUMERIC + 1] = {};
        memcpy(numName, names.szNumName, MAXLENGTH_OPERATOR_NUMERIC);
        std::wstring converted;
        if (Widen(numName, converted) && converted.size() == 5) {
            networkId = converted;
        }
    }
    NotifyAll([&](RilSubscriber* s) { s->OnNetworkId(networkId); });
}

void OnEquipment(const RILEQUIPMENTSTATE& state) {
    if (state.dwEqState == RIL_EQSTATE_FULL) {
        NotifyAll([](RilSubscriber* s) { s->OnRadioOn(); });
    } else if (state.dwEqState == RIL_EQSTATE_UNKNOWN || state.dwEqState == RIL_EQSTATE_MINIMUM) {
        NotifyAll([](RilSubscriber* s) { s->OnRadioOff(); });
    }
}

void OnSignal(const RILSIGNALQUALITY& quality) {
    NotifyAll([&](RilSubscriber* s) {
        s->OnSignalQuality(quality.nMinSignalStrength, quality.nMaxSignalStrength,
                           quality.nSignalStrength);
    });
}

// Reads a result structure only when the radio layer reported success with enough data.
template <typename T> const T* ResultData(DWORD code, const void* data, DWORD size) {
    if (code != RIL_RESULT_OK || !data || size < sizeof(T)) {
        return nullptr;
    }
    return static_cast<const T*>(data);
}

void CALLBACK ResultCallback(DWORD code, HRESULT commandId, const void* data, DWORD size, DWORD) {
    if (Claim(pendingCellTower, commandId)) {
        if (auto info = ResultData<RILCELLTOWERINFO>(code, data, size)) {
            OnCellTower(*info);
        }
    } else if (Claim(pendingOperator, commandId)) {
        if (auto names = ResultData<RILOPERATORNAMES>(code, data, size)) {
            OnOperator(*names);
        }
    } else if (Claim(pendingEquipment, commandId)) {
        if (auto state = ResultData<RILEQUIPMENTSTATE>(code, data, size)) {
            OnEquipment(*state);
        }
    } else if (Claim(pendingSignal, commandId)) {
        if (auto quality = ResultData<RILSIGNALQUALITY>(code, data, size)) {
            OnSignal(*quality);
        }
    }
}

// Every value comes from polling; unsolicited notifications are not acted on.
void CALLBACK NotifyCallback(DWORD, const void*, DWORD, DWORD) {}

void SendRequest(DWORD request) {
    BYTE buffer[4] = {static_cast<BYTE>(request), 0, 0, 0};
    RIL_DevSpecific(handle, buffer, sizeof(buffer));
}

} // namespace

namespace RadioInterface {

bool Initialize() {
    if (!initialised) {
        initialised = true;
        if (FAILED(RIL_Initialize(1, ResultCallback, NotifyCallback, NOTIFICATION_CLASSES, 0,
                                  &handle))) {
            NotifyAll([](RilSubscriber* s) { s->OnError(INIT_ERROR); });
            initialised = false;
            return false;
        }
    }
    SendRequest(REQUEST_START);
    return true;
}

void Deinitialize() {
    SendRequest(REQUEST_STOP);
    RIL_Deinitialize(handle);
    equipmentByNotification = false;
    signalByNotification = false;
    initialised = false;
}

void Refresh() {
    if (!Initialize()) {
        return;
    }
    if (Initialize()) {
        pendingOperator = RIL_GetCurrentOperator(handle, RIL_OPFORMAT_NUM);
    }
    if (!equipmentByNotification && Initialize()) {
        pendingEquipment = RIL_GetEquipmentState(handle);
    }
    if (!signalByNotification && Initialize()) {
        pendingSignal = RIL_GetSignalQuality(handle);
    }
    pendingCellTower = RIL_GetCellTowerInfo(handle);
}

void AddSubscriber(RilSubscriber* subscriber) {
    subscribers.push_back(subscriber);
}

void RemoveAllSubscribers() {
    subscribers.clear();
}

int GetCheckInterval() {
    return checkInterval;
}

void SetCheckInterval(int seconds) {
    if (seconds > 0) {
        checkInterval = seconds;
    }
}

} // namespace RadioInterface
