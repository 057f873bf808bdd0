#include "RadioBackend.h"

#include <atomic>

RadioBackend::RadioBackend(RILRESULTCALLBACK callback, DWORD parameter)
    : delivery(callback, parameter) {}

void RadioBackend::Close(RadioBackend* instance) {
    if (!instance->delivery.CloseFromCallback([instance] { delete instance; })) {
        delete instance;
    }
}

HRESULT RadioBackend::NewCommandId() {
    static std::atomic<LONG> next{0};
    LONG id = ++next;
    if (id <= 0) {
        next = 1;
        id = 1;
    }
    return id;
}
