#include "ReadWriteLock.h"

namespace {
const DWORD WRITE_HOLD = 0x10000;
}

ReadWriteLock::ReadWriteLock() {
    InitializeCriticalSection(&guard);
}

ReadWriteLock::~ReadWriteLock() {
    DeleteCriticalSection(&guard);
}

void ReadWriteLock::AcquireRead() {
    EnterCriticalSection(&guard);
    DWORD& count = holds[GetCurrentThreadId()];
    count += 1;
    if (count != 1 || writers == 0) {
        if (count == 1) {
            readers += 1;
        }
        LeaveCriticalSection(&guard);
        return;
    }
    waitingReaders += 1;
    if (!readerEvent) {
        readerEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    while (writers != 0) {
        HANDLE event = readerEvent;
        LeaveCriticalSection(&guard);
        WaitForSingleObject(event, INFINITE);
        EnterCriticalSection(&guard);
    }
    readers += 1;
    waitingReaders -= 1;
    if (waitingReaders == 0) {
        HANDLE event = readerEvent;
        readerEvent = nullptr;
        LeaveCriticalSection(&guard);
        CloseHandle(event);
        return;
    }
    LeaveCriticalSection(&guard);
}

void ReadWriteLock::ReleaseRead() {
    EnterCriticalSection(&guard);
    auto hold = holds.find(GetCurrentThreadId());
    // A release without a matching shared hold changes nothing.
    if (hold == holds.end() || (hold->second & (WRITE_HOLD - 1)) == 0) {
        LeaveCriticalSection(&guard);
        return;
    }
    DWORD before = hold->second;
    hold->second -= 1;
    if (before != 1) {
        LeaveCriticalSection(&guard);
        return;
    }
    holds.erase(hold);
    readers -= 1;
    if (readers == 0 && writerEvent) {
        HANDLE event = writerEvent;
        LeaveCriticalSection(&guard);
        SetEvent(event);
        return;
    }
    LeaveCriticalSection(&guard);
}

void ReadWriteLock::AcquireWrite() {
    EnterCriticalSection(&guard);
    DWORD& count = holds[GetCurrentThreadId()];
    count += WRITE_HOLD;
    if (count >= 2 * WRITE_HOLD) {
        LeaveCriticalSection(&guard);
        return;
    }
    unsigned others;
    if (count == WRITE_HOLD) {
        others = writers + readers;
    } else {
        // Upgrade: this thread's shared hold becomes the exclusive one.
        readers -= 1;
        others = readers;
    }
    writers += 1;
    if (writers == 1 && readerEvent) {
        ResetEvent(readerEvent);
    }
    if (others != 0 && !writerEvent) {
        writerEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    HANDLE event = writerEvent;
    LeaveCriticalSection(&guard);
    if (others != 0) {
        WaitForSingleObject(event, INFINITE);
    }
}

void ReadWriteLock::ReleaseWrite() {
    EnterCriticalSection(&guard);
    auto hold = holds.find(GetCurrentThreadId());
    // A release without a matching exclusive hold changes nothing.
    if (hold == holds.end() || hold->second < WRITE_HOLD) {
        LeaveCriticalSection(&guard);
        return;
    }
    hold->second -= WRITE_HOLD;
    if (hold->second >= WRITE_HOLD) {
        LeaveCriticalSection(&guard);
        return;
    }
    bool downgrade = hold->second != 0;
    if (downgrade) {
        // The remaining shared holds count as one reader.
        readers += 1;
    } else {
        holds.erase(hold);
    }
    EndWriting(downgrade);
}

void ReadWriteLock::EndWriting(bool downgrade) {
    writers -= 1;
    if (writers != 0 && downgrade) {
        // A waiting writer is woken when this thread's shared hold ends.
        LeaveCriticalSection(&guard);
        return;
    }
    if (writers != 0) {
        HANDLE event = writerEvent;
        LeaveCriticalSection(&guard);
        SetEvent(event);
        return;
    }
    if (readerEvent) {
        SetEvent(readerEvent);
    }
    HANDLE event = writerEvent;
    writerEvent = nullptr;
    LeaveCriticalSection(&guard);
    if (event) {
        CloseHandle(event);
    }
}

bool ReadWriteLock::HasWriterEvent() {
    EnterCriticalSection(&guard);
    bool exists = writerEvent != nullptr;
    LeaveCriticalSection(&guard);
    return exists;
}

bool ReadWriteLock::HasReaderEvent() {
    EnterCriticalSection(&guard);
    bool exists = readerEvent != nullptr;
    LeaveCriticalSection(&guard);
    return exists;
}
