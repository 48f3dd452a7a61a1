#include "app/FormatByteCount.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

namespace {

struct Case {
    std::int64_t count;
    const wchar_t* text;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.count; }

class FormatByteCountTest : public ::testing::TestWithParam<Case> {};

TEST_P(FormatByteCountTest, WritesGroupsOfThreeWithCommas) {
    EXPECT_EQ(FormatByteCount(GetParam().count), std::wstring(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Table, FormatByteCountTest, ::testing::Values(
    Case{0, L"0"},
    Case{7, L"7"},
    Case{999, L"999"},
    Case{1000, L"1,000"},
    Case{1001, L"1,001"},
    Case{10'050, L"10,050"},
    Case{1'234'567, L"1,234,567"},
    Case{2'000'000, L"2,000,000"},
    Case{5'000'000, L"5,000,000"},
    Case{5'000'007, L"5,000,007"},
    Case{999'999'999, L"999,999,999"},
    Case{1'000'000'000, L"1,000,000,000"},
    Case{1'000'000'001, L"1,000,000,001"},
    Case{4'294'967'296, L"4,294,967,296"},
    Case{1'234'567'890'123, L"1234,567,890,123"},
    Case{std::numeric_limits<std::int64_t>::max(), L"9223372036,854,775,807"},
    Case{-1, L"0"},
    Case{-1000, L"0"},
    Case{-1'234'567'890, L"0"},
    Case{std::numeric_limits<std::int64_t>::min(), L"0"}));

}  // namespace
