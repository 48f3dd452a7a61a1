#include "config/HttpUrl.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/ReadableText.h"

namespace {

struct SplitCase {
    const wchar_t* url;
    const char* host;
    int32_t port;
    const char* path;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << ReadableText(c.url); }

class SplitHttpUrlTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitHttpUrlTest, CutsHostPortAndPath) {
    const SplitCase& c = GetParam();
    const HttpUrlParts parts = SplitHttpUrl(c.url);
    EXPECT_EQ(parts.host, c.host);
    EXPECT_EQ(parts.port, c.port);
    EXPECT_EQ(parts.path, c.path);
}

INSTANTIATE_TEST_SUITE_P(Urls, SplitHttpUrlTest, testing::Values(
    SplitCase{L"http://host/quarvex_fgt.ini", "host", 80, "/quarvex_fgt.ini"},
    SplitCase{L"http://host:8080/dir/a.ini", "host", 8080, "/dir/a.ini"},
    SplitCase{L"http://host:8080x/a", "host", 8080, "/a"},
    SplitCase{L"http://host:x/a", "host", 0, "/a"},
    SplitCase{L"http://host:/a", "host:", 80, "/a"},
    SplitCase{L"http://host:1:2/a", "host", 1, "/a"},
    SplitCase{L"http://host/a?x=1", "host", 80, "/a?x=1"},
    SplitCase{L"http://host/", "host", 80, "/"},
    SplitCase{L"http://host", "host", 80, "/host"},
    SplitCase{L"http:/a", "", 80, "/a"},
    SplitCase{L"https://host/a", "host", 80, "/a"},
    // atoi's reading: white space and a sign before the digits; no overflow into nonsense.
    SplitCase{L"http://host: +81/a", "host", 81, "/a"},
    SplitCase{L"http://host:-5/a", "host", -5, "/a"},
    SplitCase{L"http://host:99999999999/a", "host", 2147483647, "/a"},
    // Wide text survives the round trip through narrow text.
    SplitCase{L"http://호스트.kr/설정.ini", "\xED\x98\xB8\xEC\x8A\xA4\xED\x8A\xB8.kr",
              80, "/\xEC\x84\xA4\xEC\xA0\x95.ini"}));

struct PathCase {
    const wchar_t* url;
    int32_t count;
    const wchar_t* path;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << ReadableText(c.url) << " cut " << c.count; }

class ExtractUrlPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(ExtractUrlPathTest, DropsCountPiecesAfterTheFirstSlash) {
    EXPECT_EQ(ExtractUrlPath(GetParam().url, GetParam().count), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Counts, ExtractUrlPathTest, testing::Values(
    PathCase{L"http://host/dir/a.ini", 0, L"///host/dir/a.ini"},
    PathCase{L"http://host/dir/a.ini", 1, L"//host/dir/a.ini"},
    PathCase{L"http://host/dir/a.ini", 2, L"/host/dir/a.ini"},
    PathCase{L"http://host/dir/a.ini", 4, L"/a.ini"},
    // Cuts that find no "/" leave the text as it is, and counting goes on.
    PathCase{L"http://host/dir/a.ini", 9, L"/a.ini"},
    PathCase{L"a/b", 3, L"/b"},
    // Once no "/" is left the remaining cuts change nothing; the largest count returns at once
    // (found by fuzz_url_split: it used to spend seconds cutting nothing).
    PathCase{L"http://host/dir/a.ini", INT32_MAX, L"/a.ini"},
    PathCase{L"http://host/dir/a.ini", -1, L"///host/dir/a.ini"},
    // Nothing to start a path from.
    PathCase{L"host", 3, L"/"},
    PathCase{L"", 0, L"/"}));

}  // namespace
