#pragma once

#include <windows.h>

#include <functional>

// A thread that stays for many tasks. Under Wine starting a thread costs milliseconds and a
// handover through the C++ library's condition variable a few hundred microseconds; a Win32
// condition variable hands a task over in some tens of microseconds.
class WorkerThread {
public:
    // Throws std::system_error when the thread cannot be started, as std::thread does.
    WorkerThread();
    // Waits for the task that runs, then ends the thread.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs task on the thread. A task started before must have been waited for.
    void Start(std::function<void()> task);
    // Returns when the task has finished.
    void Wait();

private:
    static DWORD WINAPI Main(void* self);
    void Serve();

    HANDLE thread = nullptr;
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    std::function<void()> task;
    bool busy = false;
    bool stopping = false;
};
