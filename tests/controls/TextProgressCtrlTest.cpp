// The progress bar's picture, read back from the screen of a private X server.
#include "ProgressWindow.h"

#include "controls/KoreanFont.h"

#include <string>

namespace {

// Label pixels may differ in a few anti-aliased pixels near one half coverage; a wrong digit
// differs in dozens.
constexpr int kInkTolerance = 4;

class TextProgressCtrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SharedXvfbDisplay().Running()) << SharedXvfbDisplay().Error();
        UseKoreanFont();
    }

    // Opens a window with a bar of the given width, range 0 to 100.
    void Open(int barWidth) {
        view = std::make_unique<ProgressWindow>(barWidth);
        ASSERT_TRUE(view->Show());
    }

    CountingProgressCtrl& Bar() { return *view->bar; }

    // The bar's label compared with the reference text drawn in black on white.
    ::testing::AssertionResult LabelReads(const std::string& expected, int edge) {
        const std::vector<bool> seen = LabelInk(view->CaptureBar(), edge);
        const std::vector<bool> wanted = view->ReferenceInk(expected);
        const int differences = CountDifferences(seen, wanted);
        if (CountTrue(wanted) == 0) return ::testing::AssertionFailure() << "the reference has no ink";
        if (differences > kInkTolerance) {
            return ::testing::AssertionFailure() << "the label is not \"" << expected << "\": "
                                                 << differences << " pixels differ";
        }
        return ::testing::AssertionSuccess();
    }

    // Width of the filled part on a row the label does not reach: the run of selection colour.
    int FilledWidthSeen() {
        const Picture picture = view->CaptureBar();
        const Rgb selection = ColorOf(FL_SELECTION_COLOR);
        int width = 0;
        while (width < picture.w && picture.At(width, 0) == selection) ++width;
        for (int x = width; x < picture.w; ++x) {
            if (picture.At(x, 0) != ColorOf(FL_BACKGROUND2_COLOR)) return -1;
        }
        return width;
    }

    std::unique_ptr<ProgressWindow> view;
};

TEST_F(TextProgressCtrlTest, ThirtySevenOfAHundredFillsSeventyFourOfTwoHundredPixels) {
    Open(200);
    EXPECT_EQ(Bar().SetPos(37), 0);
    EXPECT_EQ(FilledWidthSeen(), 74);
    EXPECT_TRUE(LabelReads("37%", 74));
    EXPECT_FALSE(LabelReads("38%", 74)) << "the comparison must tell digits apart";
}

TEST_F(TextProgressCtrlTest, LabelIsSplitInColourAtTheFillEdge) {
    Open(200);
    Bar().SetPos(50);
    const Picture picture = view->CaptureBar();
    const std::vector<bool> wanted = view->ReferenceInk("50%");
    // Read with the split at the edge, the label matches; read as if one colour pair held
    // across the whole bar, it does not, on either side.
    EXPECT_LE(CountDifferences(LabelInk(picture, 100), wanted), kInkTolerance);
    EXPECT_GT(CountDifferences(LabelInk(picture, 0), wanted), 20);
    EXPECT_GT(CountDifferences(LabelInk(picture, 200), wanted), 20);
    // The label reaches both sides of the edge.
    int inkLeft = 0, inkRight = 0;
    for (int y = 0; y < picture.h; ++y) {
        for (int x = 0; x < picture.w; ++x) {
            if (!wanted[y * picture.w + x]) continue;
            (x < 100 ? inkLeft : inkRight)++;
        }
    }
    EXPECT_GT(inkLeft, 10);
    EXPECT_GT(inkRight, 10);
}

TEST_F(TextProgressCtrlTest, PositionAboveTheRangeStartsFromEmpty) {
    Open(200);
    Bar().SetPos(60);
    EXPECT_EQ(Bar().SetPos(101), 60);
    EXPECT_EQ(FilledWidthSeen(), 0);
    EXPECT_TRUE(LabelReads("0%", 0));
    EXPECT_EQ(Bar().SetPos(5), 0) << "101 was stored as the lower end";
}

TEST_F(TextProgressCtrlTest, SamePixelWidthRepaintsNothingUntilTheWidthChanges) {
    Open(20);
    Bar().SetPos(37);
    ProgressWindow::Settle();
    const int paints = Bar().paints;
    EXPECT_TRUE(LabelReads("37%", 7));

    EXPECT_EQ(Bar().SetPos(38), 37);
    ProgressWindow::Settle();
    EXPECT_EQ(Bar().paints, paints);
    EXPECT_TRUE(LabelReads("37%", 7)) << "still the old label";

    Bar().SetPos(40);  // 8 pixels
    ProgressWindow::Settle();
    EXPECT_EQ(Bar().paints, paints + 1);
    EXPECT_TRUE(LabelReads("40%", 8));
}

TEST_F(TextProgressCtrlTest, ResizeMakesTheNextSetPosRepaint) {
    Open(200);
    Bar().SetPos(37);
    ProgressWindow::Settle();
    Bar().resize(Bar().x(), Bar().y(), 200, Bar().h());
    ProgressWindow::Settle();
    const int paints = Bar().paints;
    Bar().SetPos(37);
    ProgressWindow::Settle();
    EXPECT_EQ(Bar().paints, paints + 1);
}

TEST_F(TextProgressCtrlTest, ResizedBarFillsItsNewWidth) {
    Open(200);
    Bar().SetPos(37);
    Bar().resize(Bar().x(), Bar().y(), 100, Bar().h());
    view->reference->resize(view->reference->x(), view->reference->y(), 100, Bar().h());
    view->window->redraw();
    Bar().SetPos(50);
    EXPECT_EQ(FilledWidthSeen(), 50);
    EXPECT_TRUE(LabelReads("50%", 50)) << "the label centres in the new width";
}

TEST_F(TextProgressCtrlTest, TwoOfThreeReadsSixtySix) {
    Open(200);
    Bar().SetRange(0, 3);
    Bar().SetPos(2);
    EXPECT_EQ(FilledWidthSeen(), 133);
    EXPECT_TRUE(LabelReads("66%", 133));
}

TEST_F(TextProgressCtrlTest, EveryPositionOfAHundredShowsItsLabel) {
    Open(200);
    for (int position = 0; position <= 100; ++position) {
        SCOPED_TRACE(position);
        // Double-precision truncation: 0.29 * 100.0 is just below 29.
        const int shown = position == 29 || position == 57 || position == 58 ? position - 1 : position;
        Bar().SetPos(position);
        // The same truncation can leave the fill a pixel short (0.29 * 200 is 57.99...).
        const int edge = FilledWidthSeen();
        EXPECT_NEAR(edge, 2 * position, 1);
        EXPECT_TRUE(LabelReads(std::to_string(shown) + "%", edge));
    }
}

TEST_F(TextProgressCtrlTest, WindowTextGoesBeforeThePercentage) {
    Open(200);
    Bar().SetPos(37);
    Bar().SetWindowText(L"Download");
    EXPECT_TRUE(LabelReads("Download  37%", 74));
    EXPECT_FALSE(LabelReads("Download 37%", 74)) << "two spaces, not one";
}

TEST_F(TextProgressCtrlTest, SettingTheSameWindowTextAgainRepaintsNothing) {
    Open(200);
    Bar().SetWindowText(L"Download");
    ProgressWindow::Settle();
    const int paints = Bar().paints;
    EXPECT_NE(Bar().SetWindowText(L"Download"), 0);
    ProgressWindow::Settle();
    EXPECT_EQ(Bar().paints, paints);
    Bar().SetWindowText(L"Downloads");
    ProgressWindow::Settle();
    EXPECT_EQ(Bar().paints, paints + 1);
}

TEST_F(TextProgressCtrlTest, NullWindowTextCountsAsEmpty) {
    Open(200);
    Bar().SetWindowText(L"Download");
    Bar().SetWindowText(nullptr);
    wchar_t buffer[8] = {L'x'};
    EXPECT_EQ(Bar().GetWindowText(buffer, 8), 0);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_TRUE(LabelReads("0%", 0));
}

TEST_F(TextProgressCtrlTest, EmptyRangeDrawsNothing) {
    Open(200);
    Bar().SetPos(50);
    const Picture before = view->CaptureBar();
    for (auto [low, high] : {std::pair{5, 5}, std::pair{10, 0}}) {
        Bar().SetRange(low, high);
        Bar().redraw();
        const int paints = Bar().paints;
        const Picture after = view->CaptureBar();
        EXPECT_GT(Bar().paints, paints) << "a paint ran";
        EXPECT_EQ(after.rgb, before.rgb) << "and left every pixel as it was";
    }
}

TEST_F(TextProgressCtrlTest, NeverErasesItsBackground) {
    Open(200);
    Bar().SetPos(37);
    const Picture before = view->CaptureBar();
    // An expose of the whole window paints the parent's box first; the bar must cover it all.
    view->window->redraw();
    EXPECT_EQ(view->CaptureBar().rgb, before.rgb);
}

TEST_F(TextProgressCtrlTest, PartialRepaintRedrawsExactlyTheExposedArea) {
    Open(200);
    Bar().SetPos(50);
    const Picture full = view->CaptureBar();

    // Spoil the bar on the screen behind FLTK's back, then expose a piece that crosses the fill
    // edge and the label.
    view->window->make_current();
    fl_color(FL_BLACK);
    fl_rectf(Bar().x(), Bar().y(), Bar().w(), Bar().h());
    const PaintRect exposed{60, 5, 80, 12};  // in the bar's own coordinates
    view->window->damage(FL_DAMAGE_EXPOSE, Bar().x() + exposed.x, Bar().y() + exposed.y, exposed.w, exposed.h);
    const Picture after = view->CaptureBar();

    int restored = 0, left = 0;
    for (int y = 0; y < after.h; ++y) {
        for (int x = 0; x < after.w; ++x) {
            const bool inside = x >= exposed.x && x < exposed.Right() && y >= exposed.y && y < exposed.y + exposed.h;
            if (inside) restored += after.At(x, y) == full.At(x, y);
            else left += after.At(x, y) == Rgb{0, 0, 0};
        }
    }
    EXPECT_EQ(restored, exposed.w * exposed.h) << "the exposed piece looks as in a full paint";
    EXPECT_EQ(left, after.w * after.h - exposed.w * exposed.h) << "and nothing outside it was touched";
}

}  // namespace
