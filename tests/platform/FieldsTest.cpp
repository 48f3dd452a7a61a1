#include "platform/Fields.h"

#include <gtest/gtest.h>

#include "support/ReadableText.h"

using platform::ExtractField;

struct FieldCase {
    const wchar_t* text;
    int n;
    wchar_t separator;
    const wchar_t* expected;
};

void PrintTo(const FieldCase& c, std::ostream* os) {
    *os << ReadableText(c.text) << " field " << c.n << " by " << ReadableText(std::wstring_view(&c.separator, 1));
}

class Fields : public testing::TestWithParam<FieldCase> {};

TEST_P(Fields, CutsLikeTheRule) {
    const auto& c = GetParam();
    EXPECT_EQ(ExtractField(c.text, c.n, c.separator), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, Fields,
    testing::Values(FieldCase{L"http://host:8080/dir", 2, L'/', L"host:8080"},
                    FieldCase{L"http://host:8080/dir", 0, L'/', L"http:"},
                    FieldCase{L"http://host:8080/dir", 1, L'/', L""},
                    FieldCase{L"http://host:8080/dir", 3, L'/', L"dir"},
                    FieldCase{L"http://host:8080/dir", 4, L'/', L""},
                    FieldCase{L"host:1:2", 1, L':', L"1"},
                    FieldCase{L"host:", 1, L':', L""},
                    FieldCase{L"no separator", 0, L'/', L"no separator"},
                    FieldCase{L"no separator", 1, L'/', L""},
                    FieldCase{L"", 0, L'\n', L""},
                    FieldCase{L"a\n", 1, L'\n', L""},
                    FieldCase{L"a\nb\n", 1, L'\n', L"b"},
                    FieldCase{L"a", -1, L'\n', L""}));
