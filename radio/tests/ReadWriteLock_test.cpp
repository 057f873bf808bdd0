#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ReadWriteLock.h"

namespace {

// Waits for a condition another thread brings about; a generous bound only stops a hang.
template <typename Condition> bool Eventually(Condition condition) {
    for (int i = 0; i < 20000; ++i) {
        if (condition()) {
            return true;
        }
        Sleep(1);
    }
    return false;
}

} // namespace

TEST(ReadWriteLock, UncontendedUseCreatesNoEvent) {
    ReadWriteLock lock;
    lock.AcquireRead();
    lock.AcquireRead();
    lock.AcquireWrite();
    lock.AcquireWrite();
    EXPECT_FALSE(lock.HasWriterEvent());
    EXPECT_FALSE(lock.HasReaderEvent());
    lock.ReleaseWrite();
    lock.ReleaseWrite();
    lock.ReleaseRead();
    lock.ReleaseRead();
    std::thread other([&] {
        lock.AcquireWrite();
        lock.ReleaseWrite();
    });
    other.join();
    EXPECT_FALSE(lock.HasWriterEvent());
    EXPECT_FALSE(lock.HasReaderEvent());
}

TEST(ReadWriteLock, UnmatchedReleasesChangeNothing) {
    ReadWriteLock lock;
    lock.ReleaseRead();
    lock.ReleaseWrite();
    lock.AcquireRead();
    lock.ReleaseWrite(); // holds shared access only
    std::atomic<bool> written{false};
    std::thread writer([&] {
        lock.AcquireWrite();
        written = true;
        lock.ReleaseWrite();
    });
    ASSERT_TRUE(Eventually([&] { return lock.HasWriterEvent(); }));
    EXPECT_FALSE(written);
    lock.ReleaseRead();
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_FALSE(lock.HasWriterEvent());
}

TEST(ReadWriteLock, RecursiveReadNeedsEveryRelease) {
    ReadWriteLock lock;
    lock.AcquireRead();
    lock.AcquireRead();
    std::atomic<bool> written{false};
    std::thread writer([&] {
        lock.AcquireWrite();
        written = true;
        lock.ReleaseWrite();
    });
    ASSERT_TRUE(Eventually([&] { return lock.HasWriterEvent(); }));
    lock.ReleaseRead();
    EXPECT_FALSE(written);
    EXPECT_TRUE(lock.HasWriterEvent());
    lock.ReleaseRead();
    writer.join();
    EXPECT_TRUE(written);
}

TEST(ReadWriteLock, UpgradeWaitsForOtherReaderAndDowngradeLetsReadersIn) {
    ReadWriteLock lock;
    std::atomic<bool> otherReleases{false};
    std::atomic<bool> otherHolds{false};
    std::thread reader([&] {
        lock.AcquireRead();
        otherHolds = true;
        while (!otherReleases) {
            Sleep(1);
        }
        lock.ReleaseRead();
    });
    ASSERT_TRUE(Eventually([&] { return otherHolds.load(); }));
    lock.AcquireRead();
    std::atomic<bool> upgraded{false};
    std::thread releaser([&] {
        Eventually([&] { return lock.HasWriterEvent(); });
        EXPECT_FALSE(upgraded);
        otherReleases = true;
    });
    lock.AcquireWrite();
    upgraded = true;
    releaser.join();
    reader.join();

    // A reader arriving now waits until the exclusive hold is dropped to shared.
    std::atomic<bool> newReaderIn{false};
    std::thread newReader([&] {
        lock.AcquireRead();
        newReaderIn = true;
        lock.ReleaseRead();
    });
    ASSERT_TRUE(Eventually([&] { return lock.HasReaderEvent(); }));
    EXPECT_FALSE(newReaderIn);
    lock.ReleaseWrite();
    newReader.join();
    EXPECT_TRUE(newReaderIn);
    lock.ReleaseRead();
    EXPECT_FALSE(lock.HasReaderEvent());
    EXPECT_FALSE(lock.HasWriterEvent());
}

TEST(ReadWriteLock, ReaderArrivingWhileWriterWaitsGoesAfterIt) {
    ReadWriteLock lock;
    std::vector<char> order;
    lock.AcquireRead();
    std::thread writer([&] {
        lock.AcquireWrite();
        order.push_back('W');
        lock.ReleaseWrite();
    });
    ASSERT_TRUE(Eventually([&] { return lock.HasWriterEvent(); }));
    std::thread reader([&] {
        lock.AcquireRead();
        order.push_back('R');
        lock.ReleaseRead();
    });
    ASSERT_TRUE(Eventually([&] { return lock.HasReaderEvent(); }));
    EXPECT_TRUE(order.empty());
    lock.ReleaseRead();
    writer.join();
    reader.join();
    EXPECT_EQ((std::vector<char>{'W', 'R'}), order);
    EXPECT_FALSE(lock.HasReaderEvent());
    EXPECT_FALSE(lock.HasWriterEvent());
}

TEST(ReadWriteLock, WriterHandsOverToAWaitingWriterBeforeWaitingReaders) {
    ReadWriteLock lock;
    std::vector<char> order;
    std::atomic<bool> readerIn{false};
    bool readerInDuringSecondWrite = true;
    lock.AcquireWrite();
    std::thread writer([&] {
        lock.AcquireWrite();
        order.push_back('W');
        readerInDuringSecondWrite = readerIn;
        lock.ReleaseWrite();
    });
    ASSERT_TRUE(Eventually([&] { return lock.HasWriterEvent(); }));
    std::thread reader([&] {
        lock.AcquireRead();
        readerIn = true;
        order.push_back('R');
        lock.ReleaseRead();
    });
    ASSERT_TRUE(Eventually([&] { return lock.HasReaderEvent(); }));
    order.push_back('F');
    lock.ReleaseWrite();
    writer.join();
    reader.join();
    EXPECT_EQ((std::vector<char>{'F', 'W', 'R'}), order);
    EXPECT_FALSE(readerInDuringSecondWrite);
    EXPECT_FALSE(lock.HasReaderEvent());
    EXPECT_FALSE(lock.HasWriterEvent());
}

TEST(ReadWriteLock, WritersAreAloneUnderStress) {
    ReadWriteLock lock;
    std::atomic<int> activeReaders{0};
    std::atomic<int> activeWriters{0};
    std::atomic<int> violations{0};
    const int threadCount = 6;
    std::vector<HANDLE> threads;
    struct Context {
        ReadWriteLock* lock;
        std::atomic<int>* readers;
        std::atomic<int>* writers;
        std::atomic<int>* violations;
        unsigned seed;
    };
    std::vector<Context> contexts;
    contexts.reserve(threadCount);
    for (int t = 0; t < threadCount; ++t) {
        contexts.push_back({&lock, &activeReaders, &activeWriters, &violations, 17u * t + 1});
    }
    auto body = [](void* parameter) -> DWORD {
        auto& c = *static_cast<Context*>(parameter);
        for (int i = 0; i < 3000; ++i) {
            c.seed = c.seed * 1103515245u + 12345u;
            unsigned kind = (c.seed >> 16) % 4;
            if (kind == 0) {
                c.lock->AcquireWrite();
                c.lock->AcquireWrite();
                if (++*c.writers != 1 || *c.readers != 0) {
                    ++*c.violations;
                }
                --*c.writers;
                c.lock->ReleaseWrite();
                c.lock->ReleaseWrite();
            } else {
                c.lock->AcquireRead();
                ++*c.readers;
                if (kind == 1) {
                    c.lock->AcquireRead();
                    c.lock->ReleaseRead();
                }
                if (*c.writers != 0) {
                    ++*c.violations;
                }
                --*c.readers;
                c.lock->ReleaseRead();
            }
        }
        return 0;
    };
    for (int t = 0; t < threadCount; ++t) {
        threads.push_back(CreateThread(nullptr, 0, body, &contexts[t], 0, nullptr));
    }
    DWORD waited = WaitForMultipleObjects(threadCount, threads.data(), TRUE, 120000);
    ASSERT_EQ(WAIT_OBJECT_0, waited) << "threads deadlocked";
    for (HANDLE thread : threads) {
        CloseHandle(thread);
    }
    EXPECT_EQ(0, violations);
    EXPECT_FALSE(lock.HasReaderEvent());
    EXPECT_FALSE(lock.HasWriterEvent());
}
