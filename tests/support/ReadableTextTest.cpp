#include "support/ReadableText.h"

#include <gtest/gtest.h>

namespace {

TEST(ReadableTextTest, EscapesControlBytesAndBytesOutsideHangulSyllables) {
    EXPECT_EQ(ReadableText(std::string_view("")), "[]");
    EXPECT_EQ(ReadableText(std::string_view("a b\\\"c")), "[a b\\\"c]");
    EXPECT_EQ(ReadableText(std::string_view("\t\r\n\v\x7F", 5)), "[\\t\\r\\n\\x0B\\x7F]");
    EXPECT_EQ(ReadableText(std::string_view("\0\xFF", 2)), "[\\x00\\xFF]");
    // 한 stands; a cut-off syllable and the no-break space (C2 A0) are escaped byte by byte.
    EXPECT_EQ(ReadableText(std::string_view("\xED\x95\x9C\xED\x95 \xC2\xA0")), "[한\\xED\\x95 \\xC2\\xA0]");
}

TEST(ReadableTextTest, EscapesWideCharactersOutsideHangulSyllables) {
    EXPECT_EQ(ReadableText(std::wstring_view(L"k=\u3000\u00A0v\u3164\r\n")), "[k=\\u3000\\u00A0v\\u3164\\r\\n]");
    EXPECT_EQ(ReadableText(std::wstring_view(L"\uAC00\uD7A3\uD7A4\U0001F600")), "[가힣\\uD7A4\\U0001F600]");
}

}  // namespace
