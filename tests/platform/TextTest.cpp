#include "platform/Text.h"

#include <gtest/gtest.h>

using platform::ToNarrow;
using platform::ToWide;

TEST(Text, RoundTripsKoreanAndAstralCharacters) {
    const std::string narrow = "알림 \xF0\x9F\x98\x80 abc";
    const std::wstring wide = ToWide(narrow);
    EXPECT_EQ(wide, std::wstring(L"알림 ") + wchar_t(0x1F600) + L" abc");
    EXPECT_EQ(ToNarrow(wide), narrow);
}

struct InvalidUtf8Case {
    const char* name;
    std::string bytes;
    std::wstring wide;
};

void PrintTo(const InvalidUtf8Case& c, std::ostream* os) { *os << c.name; }

class InvalidUtf8 : public testing::TestWithParam<InvalidUtf8Case> {};

TEST_P(InvalidUtf8, BecomesReplacementCharacters) {
    EXPECT_EQ(ToWide(GetParam().bytes), GetParam().wide);
}

INSTANTIATE_TEST_SUITE_P(
    Text, InvalidUtf8,
    testing::Values(
        InvalidUtf8Case{"StrayContinuation", "a\x80z", L"a\uFFFDz"},
        InvalidUtf8Case{"OverlongSlash", "\xC0\xAF", L"\uFFFD"},
        InvalidUtf8Case{"OverlongThreeByte", "\xE0\x80\xAF", L"\uFFFD"},
        InvalidUtf8Case{"Surrogate", "\xED\xA0\x80", L"\uFFFD"},
        InvalidUtf8Case{"BeyondUnicode", "\xF4\x90\x80\x80", L"\uFFFD"},
        InvalidUtf8Case{"CutShortAtEnd", "ab\xE2\x82", L"ab\uFFFD"},
        InvalidUtf8Case{"CutShortBeforeAscii", "\xE2\x82z", L"\uFFFDz"},
        InvalidUtf8Case{"Latin1Byte", "caf\xE9", L"caf\uFFFD"},
        InvalidUtf8Case{"InvalidLead", "\xFF\xFE", L"\uFFFD\uFFFD"}),
    [](const auto& info) { return info.param.name; });

TEST(Text, UnencodableWideCharactersBecomeReplacement) {
    const std::wstring wide{wchar_t(0xD800), L'x', wchar_t(0x110000)};
    EXPECT_EQ(ToNarrow(wide), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(Text, EmbeddedZeroIsKept) {
    EXPECT_EQ(ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}
