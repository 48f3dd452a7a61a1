#include "config/Configuration.h"

#include <gtest/gtest.h>

#include "support/ReadableText.h"

namespace {

struct LineCase {
    const wchar_t* line;
    const wchar_t* value;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << ReadableText(c.line); }

class LineValueTest : public testing::TestWithParam<LineCase> {};

TEST_P(LineValueTest, TakesTheTextAfterTheFirstEqualsStripped) {
    EXPECT_EQ(LineValue(GetParam().line), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Lines, LineValueTest, testing::Values(
    LineCase{L"name = v ", L"v"},
    LineCase{L"name=a=b", L"a=b"},
    LineCase{L"=", L""},
    LineCase{L"  whole line\t", L"whole line"},
    LineCase{L"", L""},
    LineCase{L"k=v\r", L"v"},
    LineCase{L"k= inner  space ", L"inner  space"},
    // Wide white space: ideographic, no-break, em space, line separator, vertical tab.
    LineCase{L"k=\u3000\u00A0v\u2003\u2028\v", L"v"},
    // Not white space: the zero-width space and a Hangul filler stay.
    LineCase{L"k=\u200Bv\u3164", L"\u200Bv\u3164"}));

struct ArgumentsCase {
    const wchar_t* text;
    const char* arguments;
};

void PrintTo(const ArgumentsCase& c, std::ostream* os) { *os << ReadableText(c.text); }

class BuildLauncherArgumentsTest : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(BuildLauncherArgumentsTest, FormsTheArgumentTextFromTheFirstFourLines) {
    EXPECT_EQ(BuildLauncherArguments(GetParam().text), GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(Texts, BuildLauncherArgumentsTest, testing::Values(
    ArgumentsCase{L"a=1\r\nb=2\r\nc=3\r\nd=4\r\n", "|1|23|4"},
    ArgumentsCase{L"a=1\r\nb=2\r\nc=3\r\n", "|1|23"},
    ArgumentsCase{L"", "||"},
    ArgumentsCase{L"a=1\nb=2", "|1|2"},
    ArgumentsCase{L"a=1\nb=2\nc=3\nd=", "|1|23"},
    ArgumentsCase{L"a=1\nb=2\nc=3\nd=4\ne=5\nf=6", "|1|23|4"},
    ArgumentsCase{L"a=x=y\n=\nplain\nd = 4 ", "|x=y|plain|4"},
    ArgumentsCase{L"a=\u3000서버\u3000\nb=한\nc=글\nd=\u00A0", "|서버|한글"},
    // An error page is cut like the file.
    ArgumentsCase{L"<html>\n<title>404 Not Found</title>\n</html>\n", "|<html>|<title>404 Not Found</title></html>"}));

TEST(StoreConfigTextTest, JoinsThePiecesOfOneFetch) {
    ConfigurationState state;
    for (const char* piece : {"a=1\nb=", "2\nc=3", "\nd=4\n"}) StoreConfigText(piece, &state);
    EXPECT_EQ(state.configText, L"a=1\nb=2\nc=3\nd=4\n");
    EXPECT_EQ(BuildLauncherArguments(state.configText), "|1|23|4");
}

TEST(StoreConfigTextTest, KeepsACharacterSplitAcrossPiecesWhole) {
    // "한" is ED 95 9C; "글" is EA B8 80.
    ConfigurationState state;
    for (const char* piece : {"a=\xED", "\x95", "\x9C\xEA\xB8", "\x80\n"}) StoreConfigText(piece, &state);
    EXPECT_EQ(state.configText, L"a=한글\n");
    EXPECT_TRUE(state.pendingBytes.empty());
}

}  // namespace
