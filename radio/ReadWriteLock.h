#pragma once

#include <windows.h>

#include <map>

// Recursive reader/writer lock with writer preference. Holds are counted per thread: a thread
// holding shared access may take exclusive access (upgrade), and releasing exclusive access
// while shared holds remain downgrades. Events exist only while a thread has to wait.
class ReadWriteLock {
public:
    ReadWriteLock();
    ~ReadWriteLock();

    ReadWriteLock(const ReadWriteLock&) = delete;
    ReadWriteLock& operator=(const ReadWriteLock&) = delete;

    void AcquireRead();
    void ReleaseRead();
    void AcquireWrite();
    void ReleaseWrite();

    // Whether a wait event currently exists (a thread waits or has just been woken).
    bool HasWriterEvent();
    bool HasReaderEvent();

private:
    void EndWriting(bool downgrade);

    CRITICAL_SECTION guard;
    HANDLE writerEvent = nullptr;
    HANDLE readerEvent = nullptr;
    unsigned writers = 0;
    unsigned readers = 0;
    unsigned waitingReaders = 0;
    std::map<DWORD, DWORD> holds;
};
