// The download worker moves the bar while the window's thread paints it.
#include "ProgressWindow.h"

#include <thread>

namespace {

class TextProgressCtrlThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SharedXvfbDisplay().Running()) << SharedXvfbDisplay().Error();
        Fl::lock();  // lets other threads wake the loop, as the program does at start-up
        locked = true;
        view = std::make_unique<ProgressWindow>(200);
        ASSERT_TRUE(view->Show());
    }

    void TearDown() override {
        if (worker.joinable()) worker.join();
        view.reset();
        if (locked) Fl::unlock();
    }

    // Runs the window's loop until the worker has ended, then carries out what it left queued.
    void RunLoopUntilWorkerEnds() {
        while (!workerDone) Fl::wait(0.005);
        worker.join();
        ProgressWindow::Settle();
    }

    int FilledWidthSeen() {
        const Picture picture = view->CaptureBar();
        int width = 0;
        while (width < picture.w && picture.At(width, 0) == ColorOf(FL_SELECTION_COLOR)) ++width;
        return width;
    }

    std::unique_ptr<ProgressWindow> view;
    std::thread worker;
    std::atomic<bool> workerDone{false};
    bool locked = false;
};

TEST_F(TextProgressCtrlThreadTest, BarShowsTheWorkersLastPositionAfterManyMoves) {
    constexpr int kMoves = 50'000;
    CountingProgressCtrl* bar = view->bar;
    const int paintsBefore = bar->paints;
    worker = std::thread([&] {
        for (int i = 0; i < kMoves; ++i) bar->SetPos(i % 101);
        bar->SetPos(73);
        workerDone = true;
    });
    RunLoopUntilWorkerEnds();

    EXPECT_EQ(FilledWidthSeen(), 146);
    const std::vector<bool> seen = LabelInk(view->CaptureBar(), 146);
    EXPECT_LE(CountDifferences(seen, view->ReferenceInk("73%")), 4);
    // Requests were folded together while one was waiting, never queued one per move.
    EXPECT_GT(bar->paints, paintsBefore);
    EXPECT_LT(bar->paints - paintsBefore, kMoves / 10);
}

TEST_F(TextProgressCtrlThreadTest, RepaintRequestForAControlThatIsGoneDoesNothing) {
    CountingProgressCtrl* bar = view->bar;
    worker = std::thread([&] {
        bar->SetPos(50);  // queues a wake-up for the window's thread
        workerDone = true;
    });
    worker.join();
    view.reset();  // the window and its bar go before the loop runs again
    for (int i = 0; i < 5; ++i) Fl::wait(0.01);
    SUCCEED() << "the queued request found no control and touched nothing";
}

void Nothing(void*) {}

TEST_F(TextProgressCtrlThreadTest, RequestRefusedByAFullWakeUpQueueIsAskedForAgain) {
    CountingProgressCtrl* bar = view->bar;
    // Another part of the program floods FLTK's wake-up queue until it refuses.
    int queued = 0;
    while (Fl::awake(&Nothing, nullptr) == 0 && queued < 100'000) ++queued;
    ASSERT_LT(queued, 100'000) << "FLTK's wake-up queue has a limit";

    worker = std::thread([&] { bar->SetPos(50); });
    worker.join();
    ProgressWindow::Settle();  // the queue drains; the refused request never arrives
    const int paints = bar->paints;

    worker = std::thread([&] { bar->SetPos(50); });  // the same width as the refused one
    worker.join();
    ProgressWindow::Settle();
    EXPECT_EQ(bar->paints, paints + 1);
    EXPECT_EQ(FilledWidthSeen(), 100);
}

}  // namespace
