#include "platform/WindowThread.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace platform;

namespace {

class WindowThread : public testing::Test {
protected:
    static void SetUpTestSuite() { BecomeWindowThread(); }
    void SetUp() override { OpenHandOffs(); }
    void TearDown() override { OpenHandOffs(); }

    // Handles window-thread work until done says so (at most ten seconds).
    template <typename Done>
    static bool PumpUntil(Done done) {
        for (int i = 0; i < 10000 && !done(); ++i) Fl::wait(0.001);
        return done();
    }
};

TEST_F(WindowThread, TasksRunInOrderAndTheCallerWaitsForEach) {
    std::vector<int> applied;  // window thread only
    std::atomic<bool> inOrder{true};
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            bool ran = false;
            EXPECT_TRUE(RunOnWindowThread([&] {
                applied.push_back(i);
                ran = true;
            }));
            // Returning means the change is on the window thread already.
            if (!ran || applied.back() != i) inOrder = false;
        }
        workerDone = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return workerDone.load(); }));
    worker.join();
    EXPECT_TRUE(inOrder);
    ASSERT_EQ(applied.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(applied[i], i);
}

TEST_F(WindowThread, OnTheWindowThreadTheTaskRunsAtOnce) {
    bool ran = false;
    EXPECT_TRUE(RunOnWindowThread([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST_F(WindowThread, KeyedPostsMergeAndTheNewestWins) {
    int key = 0;
    std::atomic<int> newest{0};
    std::vector<int> seen;  // window thread only
    // Far more posts than FLTK's wake-up ring holds, none of them waiting.
    std::thread worker([&] {
        for (int i = 1; i <= 50000; ++i) {
            newest = i;
            PostToWindowThread(&key, [&] { seen.push_back(newest.load()); });
        }
    });
    worker.join();
    EXPECT_TRUE(PumpUntil([&] { return !seen.empty(); }));
    for (int i = 0; i < 20; ++i) Fl::wait(0.001);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen.back(), 50000);

    // A later post still gets through: the one wake-up was taken.
    std::thread([&] { PostToWindowThread(&key, [&] { seen.push_back(-1); }); }).join();
    EXPECT_TRUE(PumpUntil([&] { return seen.size() == 2; }));
}

TEST_F(WindowThread, DroppedPostsNeverRun) {
    int key = 0;
    bool ran = false;
    std::thread([&] { PostToWindowThread(&key, [&] { ran = true; }); }).join();
    DropPosted(&key);
    for (int i = 0; i < 50; ++i) Fl::wait(0.001);
    EXPECT_FALSE(ran);
}

TEST_F(WindowThread, ClosingReleasesAWaitingCallerAndRefusesLaterOnes) {
    std::atomic<int> results{-1};
    bool ran = false;
    std::atomic<bool> queued{false};
    std::thread worker([&] {
        queued = true;
        const bool first = RunOnWindowThread([&] { ran = true; });
        const bool second = RunOnWindowThread([&] { ran = true; });
        results = (first ? 1 : 0) + (second ? 2 : 0);
    });
    while (!queued) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it queue and wait
    CloseHandOffs();
    worker.join();
    EXPECT_EQ(results, 0);
    for (int i = 0; i < 50; ++i) Fl::wait(0.001);
    EXPECT_FALSE(ran);
}

}  // namespace
