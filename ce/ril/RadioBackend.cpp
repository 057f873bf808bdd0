#include "RadioBackend.h"

#include <atomic>

HRESULT RadioBackend::NewCommandId() {
    static std::atomic<LONG> next{0};
    LONG id = ++next;
    if (id <= 0) {
        next = 1;
        id = 1;
    }
    return id;
}
