#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "CellInfo.h"

// What the radio layer told a Today item library, seen from outside it: the library's imports
// of RIL_Initialize and PostMessageW are redirected to wrappers that pass every call on and
// watch. A cell or operator result is reported, decoded as the library decodes it, when the
// library has handed it to its subscribers: its mailbox posts the update while the radio
// layer's thread is still in the result callback. So a result the library drops (an answer to
// an older query) is not reported either. Reported on that thread, before the library's log
// writer sees the value. One radio instance at a time, as the library opens it.
class RadioTap {
public:
    struct Listener {
        std::function<void(const CellInfo&)> cell;
        std::function<void(const std::wstring&)> networkId;
    };

    // Redirects the library's radio imports; false when they pointed here already, that is
    // when the library stayed loaded since the last call.
    static bool Patch(HMODULE library);
    static void SetListener(Listener listener);

    // Keeps results from reaching the library while it lives: one in progress has been
    // reported and written in full. (The report comes before the write; a log read between
    // the two would miss a line the report says is due.)
    class Hold {
    public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
    };
};
