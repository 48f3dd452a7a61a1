// Korean window texts render as Hangul, not as the boxes of a font that lacks it.
#include "ProgressWindow.h"

#include "controls/KoreanFont.h"

namespace {

class KoreanFontTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SharedXvfbDisplay().Running()) << SharedXvfbDisplay().Error();
        view = std::make_unique<ProgressWindow>(200, 300);
        ASSERT_TRUE(view->Show());
    }

    std::vector<bool> Ink(Fl_Font font, const std::string& text) {
        view->reference->labelfont(font);
        view->reference->labelsize(16);
        return view->ReferenceInk(text);
    }

    std::unique_ptr<ProgressWindow> view;
};

TEST_F(KoreanFontTest, FindsAnInstalledFontThatCoversHangul) {
    EXPECT_FALSE(FindKoreanFontFamily().empty()) << "install fonts-nanum (scripts/install-deps)";
}

TEST_F(KoreanFontTest, StatusTextsShowDistinctGlyphsInsteadOfBoxes) {
    // A face without Hangul draws every syllable as the same box, so two different texts of
    // the same length look alike in it: the comparison below can see boxes.
    Fl::set_font(FL_FREE_FONT, " DejaVu Sans");
    const std::vector<bool> boxesA = Ink(FL_FREE_FONT, "연결 성공");
    const std::vector<bool> boxesB = Ink(FL_FREE_FONT, "요청 성공");
    ASSERT_GT(CountTrue(boxesA), 0) << "DejaVu Sans is part of every Debian desktop";
    ASSERT_EQ(CountDifferences(boxesA, boxesB), 0) << "expected boxes without Hangul";

    ASSERT_TRUE(UseKoreanFont());
    const std::vector<bool> hangulA = Ink(FL_HELVETICA, "연결 성공");
    const std::vector<bool> hangulB = Ink(FL_HELVETICA, "요청 성공");
    EXPECT_GT(CountTrue(hangulA), 0);
    EXPECT_GT(CountDifferences(hangulA, hangulB), 20) << "different syllables, different ink";
    EXPECT_GT(CountDifferences(hangulA, boxesA), 20) << "not the boxes of a font without Hangul";
}

TEST_F(KoreanFontTest, KeepsLatinTextAndDigitsReadable) {
    ASSERT_TRUE(UseKoreanFont());
    const std::vector<bool> one = Ink(FL_HELVETICA, "1,234,567 Bytes / 2,000,000 Bytes");
    const std::vector<bool> other = Ink(FL_HELVETICA, "7,654,321 Bytes / 2,000,000 Bytes");
    EXPECT_GT(CountTrue(one), 0);
    EXPECT_GT(CountDifferences(one, other), 20);
}

}  // namespace
