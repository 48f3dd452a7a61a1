// Manual-reset events, thread queues and the combined wait with its four outcomes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Events.h"
#include "platform/Sockets.h"
#include "platform/Threads.h"

namespace {

using namespace platform;

class Event {
  public:
    Event() : handle(CreateManualResetEvent()) {}
    ~Event() { CloseEvent(handle); }
    int handle;
};

void DrainQueue() {
    ThreadMessage ignored;
    while (PeekThreadMessage(ignored)) {
    }
}

TEST(Events, ManualResetStaysSignalledUntilReset) {
    Event e;
    ASSERT_NE(e.handle, -1);
    EXPECT_EQ(WaitForEvent(e.handle, 10), kWaitTimeout);
    ASSERT_TRUE(SetEventSignal(e.handle));
    EXPECT_EQ(WaitForEvent(e.handle, 0), kWaitEvent);
    EXPECT_EQ(WaitForEvent(e.handle, kInfinite), kWaitEvent);
    ASSERT_TRUE(ResetEventSignal(e.handle));
    EXPECT_EQ(WaitForEvent(e.handle, 0), kWaitTimeout);
    EXPECT_TRUE(ResetEventSignal(e.handle));  // resetting a reset event is fine
}

TEST(Events, MissingHandlesFail) {
    EXPECT_EQ(WaitForEvent(-1, 0), kWaitFailed);
    EXPECT_FALSE(SetEventSignal(-1));
    CloseEvent(-1);  // ignored
}

TEST(Events, SetFromAnotherThreadWakesTheWaiter) {
    Event e;
    std::thread setter([&] {
        SleepMilliseconds(50);
        SetEventSignal(e.handle);
    });
    EXPECT_EQ(WaitForEvent(e.handle, 5000), kWaitEvent);
    setter.join();
}

TEST(CombinedWait, TheFourOutcomes) {
    DrainQueue();
    Event e;
    EXPECT_EQ(WaitForEventOrMessage(e.handle, 20), kWaitTimeout);
    ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), 5000, 1, -2));
    EXPECT_EQ(WaitForEventOrMessage(e.handle, 0), kWaitMessage);
    SetEventSignal(e.handle);
    EXPECT_EQ(WaitForEventOrMessage(e.handle, 0), kWaitEvent) << "the event comes before the queue";
    ResetEventSignal(e.handle);
    EXPECT_EQ(WaitForEventOrMessage(-1, 0), kWaitMessage) << "no event: the queue alone";
    DrainQueue();
    EXPECT_EQ(WaitForEventOrMessage(-1, 10), kWaitTimeout);

    const int closed = CreateManualResetEvent();
    CloseEvent(closed);
    EXPECT_EQ(WaitForEventOrMessage(closed, 0), kWaitFailed);
}

TEST(ThreadQueues, MessagesComeInOrderWithTheirParameters) {
    DrainQueue();
    const uint32_t self = GetCurrentThreadId();
    EXPECT_NE(self, 0u);
    EXPECT_NE(self, 0xFFFFFFFFu);
    EXPECT_EQ(GetCurrentThreadId(), self);
    for (uint32_t i = 0; i < 5; ++i)
        ASSERT_TRUE(PostThreadMessage(self, 1000 + i, i, -static_cast<intptr_t>(i)));
    ThreadMessage m;
    for (uint32_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(PeekThreadMessage(m));
        EXPECT_EQ(m.message, 1000 + i);
        EXPECT_EQ(m.wParam, i);
        EXPECT_EQ(m.lParam, -static_cast<intptr_t>(i));
    }
    EXPECT_FALSE(PeekThreadMessage(m));
    EXPECT_EQ(WaitForEventOrMessage(-1, 0), kWaitTimeout) << "an emptied queue no longer wakes";
}

TEST(ThreadQueues, PostingToNoThreadFails) {
    EXPECT_FALSE(PostThreadMessage(0xFFFFFFFF, 1, 0, 0));
}

struct Worker {
    std::atomic<uint32_t> seenId{0};
    std::atomic<uint32_t> firstMessage{0};
    uint32_t storedId = 0;
};

void WorkerEntry(void* argument) {
    auto& worker = *static_cast<Worker*>(argument);
    worker.seenId = GetCurrentThreadId();
    // storedId was written by CreateThread before this thread ran.
    EXPECT_EQ(worker.storedId, worker.seenId.load());
    if (WaitForEventOrMessage(-1, 5000) == kWaitMessage) {
        ThreadMessage m;
        if (PeekThreadMessage(m)) worker.firstMessage = m.message;
    }
}

TEST(ThreadQueues, ANewThreadHasItsIdAndQueueFromTheStart) {
    Worker worker;
    ASSERT_TRUE(CreateThread(WorkerEntry, &worker, &worker.storedId));
    // Posted at once, possibly before the thread has run a single line: it must not be lost.
    ASSERT_TRUE(PostThreadMessage(worker.storedId, 1021, 0, 0));
    ASSERT_TRUE(WaitForThreadEnd(worker.storedId, 5000));
    EXPECT_EQ(worker.seenId.load(), worker.storedId);
    EXPECT_EQ(worker.firstMessage.load(), 1021u);
    EXPECT_FALSE(PostThreadMessage(worker.storedId, 1, 0, 0)) << "the queue went with its thread";
    EXPECT_TRUE(WaitForThreadEnd(worker.storedId, 0));
}

TEST(ThreadQueues, WaitForThreadEndTimesOutWhileItRuns) {
    std::atomic<bool> release{false};
    uint32_t id = 0;
    ASSERT_TRUE(CreateThread(
        [](void* flag) {
            while (!static_cast<std::atomic<bool>*>(flag)->load()) SleepMilliseconds(5);
        },
        &release, &id));
    EXPECT_FALSE(WaitForThreadEnd(id, 30));
    release = true;
    EXPECT_TRUE(WaitForThreadEnd(id, 5000));
}

}  // namespace
