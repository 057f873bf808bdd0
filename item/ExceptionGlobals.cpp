#include "ExceptionGlobals.h"

#include <cstdlib>

namespace {

// Laid out as the Itanium C++ ABI gives it, which libstdc++ follows.
struct EhGlobals {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

DWORD slot = TLS_OUT_OF_INDEXES;
HANDLE heap = nullptr;
// Only for a throw before Attach or after Detach, when no other thread runs the library's code.
EhGlobals outside = {};

} // namespace

bool ExceptionGlobals::Attach() {
    slot = TlsAlloc();
    heap = HeapCreate(0, 0, 0);
    return slot != TLS_OUT_OF_INDEXES && heap;
}

void ExceptionGlobals::Detach() {
    // The heap takes every thread's state with it, also of threads still running elsewhere.
    if (heap) {
        HeapDestroy(heap);
        heap = nullptr;
    }
    if (slot != TLS_OUT_OF_INDEXES) {
        TlsFree(slot);
        slot = TLS_OUT_OF_INDEXES;
    }
}

void ExceptionGlobals::ThreadDetach() {
    if (slot == TLS_OUT_OF_INDEXES || !heap) {
        return;
    }
    if (void* state = TlsGetValue(slot)) {
        HeapFree(heap, 0, state);
        TlsSetValue(slot, nullptr);
    }
}

// These take the place of the runtime's own definitions at link time (the library's objects
// come before the runtime's archives).
extern "C" EhGlobals* __cxa_get_globals() noexcept {
    if (slot == TLS_OUT_OF_INDEXES || !heap) {
        return &outside;
    }
    auto* state = static_cast<EhGlobals*>(TlsGetValue(slot));
    if (!state) {
        state = static_cast<EhGlobals*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(EhGlobals)));
        if (!state) {
            // Nowhere to keep the state: the runtime ends the process as it would itself.
            abort();
        }
        TlsSetValue(slot, state);
    }
    return state;
}

// The runtime's callers of this one expect the state to exist, as its TLS variable always does.
extern "C" EhGlobals* __cxa_get_globals_fast() noexcept {
    return __cxa_get_globals();
}
