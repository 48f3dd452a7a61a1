// What the progress bar computes and stores, apart from its picture.
#include "controls/TextProgressCtrl.h"
#include "platform/Text.h"

#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

namespace {

TEST(ProgressLabel, EveryPositionOfAHundredTruncatesTheDoubleFraction) {
    for (int position = 0; position <= 100; ++position) {
        SCOPED_TRACE(position);
        const int expected = position == 29 || position == 57 || position == 58 ? position - 1 : position;
        EXPECT_EQ(ProgressLabel(L"", ProgressFraction(position, 0, 100)), std::to_wstring(expected) + L"%");
    }
}

struct LabelCase {
    const wchar_t* windowText;
    int position, low, high;
    const wchar_t* label;
};

void PrintTo(const LabelCase& c, std::ostream* out) {
    *out << '"' << platform::ToNarrow(c.windowText) << "\" " << c.position << " of " << c.low << ".." << c.high;
}

class ProgressLabelTable : public ::testing::TestWithParam<LabelCase> {};

TEST_P(ProgressLabelTable, ReadsAsExpected) {
    const LabelCase& c = GetParam();
    EXPECT_EQ(ProgressLabel(c.windowText, ProgressFraction(c.position, c.low, c.high)), c.label);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressLabelTable, ::testing::Values(
    LabelCase{L"", 2, 0, 3, L"66%"},
    LabelCase{L"Download", 37, 0, 100, L"Download  37%"},
    LabelCase{L"받는 중", 100, 0, 100, L"받는 중  100%"},
    LabelCase{L"", 15, 10, 20, L"50%"},
    LabelCase{L"", -5, 0, 100, L"0%"},                     // below the range: empty
    LabelCase{L"", INT_MIN, INT_MAX - 1, INT_MAX, L"0%"},  // no overflow at the extremes
    LabelCase{L"", INT_MAX, INT_MIN, INT_MAX, L"100%"},
    LabelCase{L"", 80, 0, 50, L"100%"},                    // range narrowed under the position
    LabelCase{L"", 7, 5, 5, L"0%"}));                      // empty range

struct WidthCase {
    int position, low, high, clientWidth, filled;
};

void PrintTo(const WidthCase& c, std::ostream* out) {
    *out << c.position << " of " << c.low << ".." << c.high << " at " << c.clientWidth << " px";
}

class FilledBarWidthTable : public ::testing::TestWithParam<WidthCase> {};

TEST_P(FilledBarWidthTable, TruncatesTowardZero) {
    const WidthCase& c = GetParam();
    EXPECT_EQ(FilledBarWidth(ProgressFraction(c.position, c.low, c.high), c.clientWidth), c.filled);
}

INSTANTIATE_TEST_SUITE_P(Cases, FilledBarWidthTable, ::testing::Values(
    WidthCase{37, 0, 100, 200, 74},
    WidthCase{37, 0, 100, 20, 7},
    WidthCase{38, 0, 100, 20, 7},
    WidthCase{40, 0, 100, 20, 8},
    WidthCase{2, 0, 3, 200, 133},
    WidthCase{100, 0, 100, 200, 200},
    WidthCase{-50, 0, 100, 200, 0},
    WidthCase{1, 0, 0, 200, 0}));

TEST(TextProgressCtrl, WithoutAWindowSetPosStoresNothing) {
    CTextProgressCtrl bar(0, 0, 200, 20);  // built outside any window
    bar.SetRange(0, 100);
    EXPECT_EQ(bar.SetPos(40), -1);
    EXPECT_EQ(bar.SetPos(50), -1);
}

TEST(TextProgressCtrl, InAWindowSetPosReturnsThePreviousPosition) {
    Fl_Window window(220, 40);
    auto* bar = new CTextProgressCtrl(10, 10, 200, 20);
    window.end();
    EXPECT_EQ(bar->SetPos(40), 0);
    EXPECT_EQ(bar->SetPos(-3), 40) << "positions below the range are kept as they are";
    EXPECT_EQ(bar->SetPos(100), -3);
    EXPECT_EQ(bar->SetPos(101), 100);
    EXPECT_EQ(bar->SetPos(1), 0) << "above the range became the lower end";
}

struct TextCase {
    const wchar_t* text;
    int size;
    const wchar_t* copied;
    int count;
};

void PrintTo(const TextCase& c, std::ostream* out) {
    *out << '"' << platform::ToNarrow(c.text) << "\" into " << c.size;
}

class GetWindowTextTable : public ::testing::TestWithParam<TextCase> {};

TEST_P(GetWindowTextTable, CutsToTheBufferAndTerminates) {
    const TextCase& c = GetParam();
    CTextProgressCtrl bar(0, 0, 200, 20);
    bar.SetWindowText(c.text);
    wchar_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(bar.GetWindowText(buffer, c.size), c.count);
    if (c.size > 0) {
        EXPECT_EQ(std::wstring(buffer), c.copied);
    } else {
        EXPECT_EQ(buffer[0], L'#') << "a buffer of no characters is not written";
    }
    if (c.size > 0 && c.size < 16) {
        EXPECT_EQ(buffer[c.size], L'#') << "nothing past the buffer";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, GetWindowTextTable, ::testing::Values(
    TextCase{L"Download", 4, L"Dow", 3},
    TextCase{L"Download", 9, L"Download", 8},
    TextCase{L"Download", 16, L"Download", 8},
    TextCase{L"Download", 1, L"", 0},
    TextCase{L"Download", 0, L"", 0},
    TextCase{L"런쳐 다운로드중", 3, L"런쳐", 2},
    TextCase{L"", 4, L"", 0}));

}  // namespace
