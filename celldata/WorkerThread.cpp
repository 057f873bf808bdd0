#include "WorkerThread.h"

#include <system_error>

WorkerThread::WorkerThread() {
    thread = CreateThread(nullptr, 0, Main, this, 0, nullptr);
    if (!thread) {
        throw std::system_error(int(GetLastError()), std::system_category(), "CreateThread");
    }
}

WorkerThread::~WorkerThread() {
    AcquireSRWLockExclusive(&lock);
    stopping = true;
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&changed);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

void WorkerThread::Start(std::function<void()> work) {
    AcquireSRWLockExclusive(&lock);
    task = std::move(work);
    busy = true;
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&changed);
}

void WorkerThread::Wait() {
    AcquireSRWLockExclusive(&lock);
    while (busy) {
        SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
    }
    ReleaseSRWLockExclusive(&lock);
}

DWORD WINAPI WorkerThread::Main(void* self) {
    static_cast<WorkerThread*>(self)->Serve();
    return 0;
}

void WorkerThread::Serve() {
    AcquireSRWLockExclusive(&lock);
    for (;;) {
        while (!busy && !stopping) {
            SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
        }
        if (!busy) {
            break;
        }
        ReleaseSRWLockExclusive(&lock);
        task();
        AcquireSRWLockExclusive(&lock);
        task = nullptr;
        busy = false;
        WakeAllConditionVariable(&changed);
    }
    ReleaseSRWLockExclusive(&lock);
}
