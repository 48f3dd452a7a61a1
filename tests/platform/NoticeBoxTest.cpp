#include "platform/NoticeBox.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/WindowThread.h"
#include "support/XvfbDisplay.h"

using namespace platform;

namespace {

class NoticeBox : public testing::Test {
protected:
    static void SetUpTestSuite() { BecomeWindowThread(); }
    void SetUp() override {
        ASSERT_TRUE(SharedXvfbDisplay().Running()) << SharedXvfbDisplay().Error();
        OpenHandOffs();
    }

    static Fl_Window* FindShownWindow(const std::string& caption) {
        for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
            if (w->label() != nullptr && caption == w->label() && w->shown()) return w;
        }
        return nullptr;
    }

    static Fl_Window* WaitForWindow(const std::string& caption) {
        for (int i = 0; i < 10000; ++i) {
            if (Fl_Window* w = FindShownWindow(caption)) return w;
            Fl::wait(0.001);
        }
        return nullptr;
    }

    template <typename T>
    static T* FindChild(Fl_Window* window) {
        for (int i = 0; i < window->children(); ++i) {
            if (auto* child = dynamic_cast<T*>(window->child(i))) return child;
        }
        return nullptr;
    }
};

TEST_F(NoticeBox, WorkerWaitsForOkWhileOtherWindowsStayUsable) {
    Fl_Window main(200, 100, "main");
    main.show();
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        ShowNoticeBox(L"error -404: 수신 실패", L"알림");
        returned = true;
    });

    Fl_Window* box = WaitForWindow("알림");
    ASSERT_NE(box, nullptr);
    auto* text = FindChild<Fl_Box>(box);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->label(), "error -404: 수신 실패");
    EXPECT_EQ(text->image(), nullptr);  // no icon
    EXPECT_EQ(Fl::modal(), nullptr);    // nothing blocks the main window
    EXPECT_FALSE(box->modal());

    for (int i = 0; i < 50; ++i) Fl::wait(0.001);
    EXPECT_FALSE(returned) << "the caller must wait for OK";

    auto* ok = FindChild<Fl_Button>(box);
    ASSERT_NE(ok, nullptr);
    ok->do_callback();
    for (int i = 0; i < 5000 && !returned; ++i) Fl::wait(0.001);
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(FindShownWindow("알림"), nullptr);
}

TEST_F(NoticeBox, ClosingBoxesReleasesTheWorker) {
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        ShowNoticeBox(L"ErrCode = [1000]", L"알림");
        returned = true;
    });
    ASSERT_NE(WaitForWindow("알림"), nullptr);
    CloseNoticeBoxes();
    CloseHandOffs();
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(FindShownWindow("알림"), nullptr);

    // With hand-offs closed a later box returns at once without showing.
    std::thread([] { ShowNoticeBox(L"late", L"알림"); }).join();
    for (int i = 0; i < 20; ++i) Fl::wait(0.001);
    EXPECT_EQ(FindShownWindow("알림"), nullptr);
}

}  // namespace
