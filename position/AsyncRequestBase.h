#pragma once

#include <windows.h>

#include <atomic>

#include "LibraryThread.h"

// A request that does its work on a thread of its own and then tells its notification target
// (T::Notify), which posts to the window waiting for it. The owner deletes a finished
// request; a request the owner abandons while it runs is freed by its own thread.
template <class T> class AsyncRequestBase {
public:
    explicit AsyncRequestBase(T* target) : target(target) {}
    virtual void Execute() = 0;
    virtual ~AsyncRequestBase() = default;

    AsyncRequestBase(const AsyncRequestBase&) = delete;
    AsyncRequestBase& operator=(const AsyncRequestBase&) = delete;

    // False when the thread could not be started; the request then never finishes. The
    // thread keeps the library loaded until it ends, even when the shell unloads it.
    bool Start() {
        HANDLE thread = LibraryThread::Start(ThreadProc, this);
        if (!thread) {
            return false;
        }
        CloseHandle(thread);
        return true;
    }

    // Set by the request thread once Execute has returned, before the target is told.
    bool IsDone() const { return state.load() == Done; }

    // For an owner that goes away: true when the running thread takes over deleting the
    // request, false when it has finished already and the caller deletes it.
    bool Abandon() {
        int expected = Running;
        return state.compare_exchange_strong(expected, Abandoned);
    }

private:
    enum { Running, Done, Abandoned };

    static DWORD WINAPI ThreadProc(LPVOID parameter) {
        auto* self = static_cast<AsyncRequestBase*>(parameter);
        self->Execute();
        // Once the state says done the owner may delete the object at any moment.
        T* notified = self->target;
        if (self->state.exchange(Done) == Abandoned) {
            delete self;
            return 0;
        }
        notified->Notify();
        return 0;
    }

    T* target;
    std::atomic<int> state{Running};
};
