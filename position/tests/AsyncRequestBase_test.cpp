#include <gtest/gtest.h>

#include <atomic>

#include "AsyncRequestBase.h"

namespace {

struct CountingTarget {
    std::atomic<int> notified{0};
    HANDLE notifiedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~CountingTarget() { CloseHandle(notifiedEvent); }
    void Notify() {
        ++notified;
        SetEvent(notifiedEvent);
    }
};

// Runs until the test opens its gate; tells when it is deleted.
class GatedRequest : public AsyncRequestBase<CountingTarget> {
public:
    GatedRequest(CountingTarget* target, HANDLE gate, HANDLE deleted)
        : AsyncRequestBase(target), gate(gate), deleted(deleted) {}
    void Execute() override { WaitForSingleObject(gate, 30000); }
    ~GatedRequest() override { SetEvent(deleted); }

private:
    HANDLE gate;
    HANDLE deleted;
};

class AsyncRequest : public ::testing::Test {
protected:
    ~AsyncRequest() override {
        CloseHandle(gate);
        CloseHandle(deleted);
    }
    CountingTarget target;
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE deleted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

} // namespace

TEST_F(AsyncRequest, FinishedRequestNotifiesAndWaitsForItsOwner) {
    auto* request = new GatedRequest(&target, gate, deleted);
    ASSERT_TRUE(request->Start());
    EXPECT_FALSE(request->IsDone());
    SetEvent(gate);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(target.notifiedEvent, 30000));
    EXPECT_TRUE(request->IsDone());
    EXPECT_EQ(1, target.notified.load());
    EXPECT_FALSE(request->Abandon());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(deleted, 0));
    delete request;
}

TEST_F(AsyncRequest, AbandonedRequestIsFreedByItsThread) {
    auto* request = new GatedRequest(&target, gate, deleted);
    ASSERT_TRUE(request->Start());
    EXPECT_TRUE(request->Abandon());
    SetEvent(gate);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(deleted, 30000));
    EXPECT_EQ(0, target.notified.load());
}
