// The message container: field rules, the wire form, the parse of a head, and UrlEncode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/HttpParamMessage.h"
#include "download/HttpRequest.h"
#include "support/ReadableText.h"

namespace {

using Entries = CHttpParamMessage::Entries;

TEST(HttpParamMessage, SetFieldReplacesAMatchInAnyCaseKeepingNameAndPlace) {
    CHttpParamMessage m;
    m.SetField("METHOD", "GET");
    m.SetField("Accept", "a");
    m.SetField("Host", "h");
    m.SetField("accept", "x");
    m.SetField("New", "n");
    EXPECT_EQ(m.Fields(),
              (Entries{{"METHOD", "GET"}, {"Accept", "x"}, {"Host", "h"}, {"New", "n"}}));
    EXPECT_EQ(m.GetField("ACCEPT"), "x");
    EXPECT_EQ(m.GetField("Missing"), "");
    EXPECT_EQ(m.Serialize(), "GET  \r\nAccept: x\r\nHost: h\r\nNew: n\r\n\r\n");
}

TEST(HttpParamMessage, FoldingTouchesOnlyAsciiLetters) {
    CHttpParamMessage m;
    m.SetField("\xC3\x84rger", "1");  // a byte from 0x80 up is never folded
    m.SetField("\xC3\xA4rger", "2");
    m.SetField("a_b", "3");
    m.SetField("A_B", "4");
    EXPECT_EQ(m.Fields(), (Entries{{"\xC3\x84rger", "1"}, {"\xC3\xA4rger", "2"}, {"a_b", "4"}}));
}

TEST(HttpParamMessage, SerializeOfAnEmptyMessageIsTwoSpacesAndTwoLineEnds) {
    CHttpParamMessage m;
    EXPECT_EQ(m.GetUri(), "");
    EXPECT_EQ(m.Serialize(), "  \r\n\r\n");
}

TEST(HttpParamMessage, SerializeLeavesOutOnlyTheExactPseudoFieldNames) {
    CHttpParamMessage m;
    m.SetField("Method2", "kept");
    m.SetField("uri", "lower case uri is a pseudo-field by lookup");
    EXPECT_EQ(m.Serialize(),
              " lower case uri is a pseudo-field by lookup \r\nMethod2: kept\r\n"
              "uri: lower case uri is a pseudo-field by lookup\r\n\r\n");
}

struct ParseCase {
    const char* name;
    std::string text;
    Entries fields;
    Entries params;
    std::string body;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

// The three pseudo-fields of a parsed start line, then the header fields that follow them.
Entries StartLine(const char* first, const char* second, const char* third, Entries fields = {}) {
    Entries all = {{"METHOD", first}, {"URI", second}, {"VERSION", third}};
    all.insert(all.end(), fields.begin(), fields.end());
    return all;
}

std::vector<ParseCase> ParseCases() {
    // clang-format off
    return {
        {"StatusLine", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n",
         StartLine("HTTP/1.1", "200", "OK", {{"Content-Length", "5"}}), {}, ""},
        {"ReasonPhraseSpacesCollapse", "HTTP/1.1 404 Not  \t Found\r\n\r\n",
         StartLine("HTTP/1.1", "404", "Not Found"), {}, ""},
        {"NoReasonPhraseSetsNoPseudoField", "HTTP/1.1 200\r\nA: b\r\n\r\n", {{"A", "b"}}, {}, ""},
        {"NoLineEndSetsNoPseudoField", "HTTP/1.1 200 OK", {}, {}, ""},
        {"SpaceBeforeColonStaysInTheName", "HTTP/1.1 200 OK\r\nContent-Length : 5\r\n\r\n",
         StartLine("HTTP/1.1", "200", "OK", {{"Content-Length ", "5"}}), {}, ""},
        {"LaterFieldWinsInTheFirstPlace",
         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nX: y\r\ncontent-length: 2\r\n\r\n",
         StartLine("HTTP/1.1", "200", "OK", {{"Content-Length", "2"}, {"X", "y"}}), {}, ""},
        {"ValueKeepsLaterColonsAndLosesBlanks",
         "HTTP/1.1 200 OK\r\nX-A:\t b:c \r\n continuation\r\n\r\n",
         StartLine("HTTP/1.1", "200", "OK", {{"X-A", "b:c"}}), {}, ""},
        {"UriFieldReplacesTheStatusToken", "HTTP/1.1 200 OK\r\nuri: 404\r\n\r\n",
         StartLine("HTTP/1.1", "404", "OK"), {}, ""},
        {"ReasonWithColonAlsoMakesAField", "HTTP/1.1 500 Oops: bad\r\n\r\n",
         StartLine("HTTP/1.1", "500", "Oops: bad", {{"HTTP/1.1 500 Oops", "bad"}}), {}, ""},
        {"BareLineFeedsEndLines", "HTTP/1.1 200 OK\nA: 1\n\nB: 2", {{"A", "1"}, {"B", "2"}}, {}, ""},
        {"BodyAfterTheBlankLine", "  HTTP/1.1 200 OK\r\nA: 1\r\n\r\nbody\r\n\r\nmore  ",
         StartLine("HTTP/1.1", "200", "OK", {{"A", "1"}}), {}, "body\r\n\r\nmore"},
        {"RequestLineWithQuery", "GET /f.cab?a=1&b=&c&d=4&e HTTP/1.1\r\n\r\n",
         StartLine("GET", "/f.cab", "HTTP/1.1"), {{"a", "1"}, {"b", ""}, {"c&d", "4"}}, ""},
        {"QueryNamesMatchInAnyCase", "GET /?K=1&k=2&k%41=3 HTTP/1.1\r\n\r\n",
         StartLine("GET", "/", "HTTP/1.1"), {{"K", "2"}, {"k%41", "3"}}, ""},
    };
    // clang-format on
}

class ParseTable : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, FieldsParamsAndBody) {
    const ParseCase& c = GetParam();
    CHttpParamMessage m;
    m.SetField("Stale", "from before");
    ASSERT_TRUE(m.Parse(c.text));
    EXPECT_EQ(m.Fields(), c.fields);
    EXPECT_EQ(m.Params(), c.params);
    EXPECT_EQ(m.Body(), c.body);
}

INSTANTIATE_TEST_SUITE_P(Heads, ParseTable, testing::ValuesIn(ParseCases()),
                         [](const testing::TestParamInfo<ParseCase>& info) {
                             return info.param.name;
                         });

TEST(HttpParamMessage, ParseOfEmptyTextFailsAndKeepsTheMessage) {
    CHttpParamMessage m;
    m.SetField("Kept", "yes");
    EXPECT_FALSE(m.Parse(""));
    EXPECT_EQ(m.GetField("Kept"), "yes");
}

struct EncodeCase {
    std::string in;
    std::string out;
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << ReadableText(c.in); }

class UrlEncodeTable : public testing::TestWithParam<EncodeCase> {};

TEST_P(UrlEncodeTable, Encodes) {
    EXPECT_EQ(UrlEncode(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UrlEncodeTable,
    testing::Values(EncodeCase{"/download/quarvex/quarvex.cab", "/download/quarvex/quarvex.cab"},
                    EncodeCase{"", ""}, EncodeCase{"/a b/c.cab", "/a%20b/c.cab"},
                    EncodeCase{"/f.cab?v=1", "/f.cab%3Fv%3D1"}, EncodeCase{"%41", "%2541"},
                    EncodeCase{"\xB0", "%B0"}, EncodeCase{"a&b~c+d", "a%26b%7Ec%2Bd"},
                    EncodeCase{"AZaz09.-_:()/", "AZaz09.-_:()/"},
                    EncodeCase{std::string("\0\x7F\xFF", 3), "%00%7F%FF"},
                    EncodeCase{"\xED\x95\x9C", "%ED%95%9C"}));

}  // namespace
