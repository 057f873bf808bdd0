#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ril.h"

// Hands a radio instance's results to the caller's callback on a thread of its own, in the
// order they were posted, each once it is due. A callback may close the radio layer: the
// instance is then deleted on this thread once the callback has returned (a thread cannot
// wait for itself), and nothing more is delivered.
class ResultDelivery {
public:
    ResultDelivery(RILRESULTCALLBACK callback, DWORD parameter);
    ~ResultDelivery();

    // due: the tick count from which the result may be delivered.
    void Post(DWORD code, HRESULT commandId, std::vector<BYTE> data, DWORD due = GetTickCount());
    // From RIL_Deinitialize. False when it is not called from a callback; otherwise the caller's
    // instance is deleted with deleteOwner once that callback returns.
    bool CloseFromCallback(std::function<void()> deleteOwner);

private:
    struct Result {
        DWORD due;
        DWORD code;
        HRESULT commandId;
        std::vector<BYTE> data;
    };

    void Run();

    RILRESULTCALLBACK callback;
    DWORD parameter;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Result> results;
    bool stopping = false;
    std::function<void()> deleteOwner;
    std::thread worker;
};
