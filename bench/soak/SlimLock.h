#pragma once

#include <windows.h>

// A lock for the soak's own records that makes no kernel object. The runtime's std::mutex makes
// an event the first time two threads meet on it, at a moment chance decides: the soak counted
// that as the process's handles growing after the warm-up in some runs and not in others.
class SlimLock {
public:
    void lock() { AcquireSRWLockExclusive(&srw); }
    void unlock() { ReleaseSRWLockExclusive(&srw); }

private:
    SRWLOCK srw = SRWLOCK_INIT;
};
