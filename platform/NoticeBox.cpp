#include "platform/NoticeBox.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "platform/WindowThread.h"

namespace platform {
namespace {

constexpr int kMargin = 20;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 28;
constexpr int kMinTextWidth = 180;
constexpr char kOkLabel[] = "확인";

class NoticeBoxWindow;
std::vector<NoticeBoxWindow*>& OpenBoxes() {
    static std::vector<NoticeBoxWindow*> boxes;  // window thread only
    return boxes;
}

class NoticeBoxWindow : public Fl_Window {
public:
    NoticeBoxWindow(const std::string& text, const std::string& caption, FinishHandOff finish)
        : Fl_Window(0, 0, ""), finish(std::move(finish)) {
        copy_label(caption.c_str());
        fl_open_display();
        fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
        int textWidth = 0;
        int textHeight = 0;
        fl_measure(text.c_str(), textWidth, textHeight, 0);
        textWidth = std::max(textWidth, kMinTextWidth);
        // No owner: in the middle of the screen, as a box of the system's own.
        const int width = textWidth + 2 * kMargin;
        const int height = textHeight + 3 * kMargin + kButtonHeight;
        resize((Fl::w() - width) / 2, (Fl::h() - height) / 2, width, height);

        message = new Fl_Box(kMargin, kMargin, textWidth, textHeight);
        message->copy_label(text.c_str());
        message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        ok = new Fl_Return_Button((w() - kButtonWidth) / 2, h() - kMargin - kButtonHeight,
                                  kButtonWidth, kButtonHeight, kOkLabel);
        ok->callback([](Fl_Widget*, void* box) { static_cast<NoticeBoxWindow*>(box)->Dismiss(); },
                     this);
        end();
        // The close box and Escape dismiss it like OK, as a box with OK alone does.
        callback([](Fl_Widget* box, void*) { static_cast<NoticeBoxWindow*>(box)->Dismiss(); });
        OpenBoxes().push_back(this);
    }

    void Dismiss() {
        auto& boxes = OpenBoxes();
        boxes.erase(std::remove(boxes.begin(), boxes.end(), this), boxes.end());
        hide();
        if (finish) {
            FinishHandOff done = std::move(finish);
            finish = nullptr;
            done();
        }
        Fl::delete_widget(this);
    }

private:
    FinishHandOff finish;
    Fl_Box* message = nullptr;
    Fl_Return_Button* ok = nullptr;
};

}  // namespace

void ShowNoticeBox(std::wstring_view text, std::wstring_view caption) {
    const std::string narrowText = ToNarrow(text);
    const std::string narrowCaption = ToNarrow(caption);
    HandOffAndWait([&](FinishHandOff finish) {
        auto* box = new NoticeBoxWindow(narrowText, narrowCaption, std::move(finish));
        box->show();
    });
}

void CloseNoticeBoxes() {
    std::vector<NoticeBoxWindow*> boxes = OpenBoxes();
    for (NoticeBoxWindow* box : boxes) box->Dismiss();
}

}  // namespace platform
