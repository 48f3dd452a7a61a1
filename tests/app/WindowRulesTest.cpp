#include "app/WindowRules.h"

#include <gtest/gtest.h>

struct ProgressCase {
    int64_t received;
    int64_t total;
    std::optional<int32_t> position;
};

void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.received << " of " << c.total; }

class ProgressPositions : public testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressPositions, AreTheTruncated64BitShare) {
    EXPECT_EQ(ProgressPosition(GetParam().received, GetParam().total), GetParam().position);
}

constexpr int64_t kGiB = 1024LL * 1024 * 1024;

INSTANTIATE_TEST_SUITE_P(
    WindowRules, ProgressPositions,
    testing::Values(ProgressCase{1'234'567, 2'000'000, 61},
                    ProgressCase{0, 2'000'000, 0},
                    ProgressCase{2'000'000, 2'000'000, 100},
                    ProgressCase{1, 3, 33},
                    ProgressCase{2, 3, 66},
                    // Beyond 4 GiB the product would not fit in 32 bits (or 64 divided first).
                    ProgressCase{5 * kGiB, 6 * kGiB, 83},
                    ProgressCase{6 * kGiB - 1, 6 * kGiB, 99},
                    ProgressCase{50 * kGiB, 100 * kGiB, 50},
                    // No length known: the bar stays as it is.
                    ProgressCase{8192, 0, std::nullopt},
                    // More than announced (a lying peer): the position goes on past 100.
                    ProgressCase{300, 100, 300}));

struct ErrorCase {
    int32_t kind;
    int32_t code;
    const wchar_t* text;
    bool normalEnd;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << "kind " << c.kind << " code " << c.code; }

class ErrorReports : public testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorReports, ShowTheKindsTextOrEndTheRun) {
    EXPECT_EQ(ErrorBoxText(GetParam().kind, GetParam().code), GetParam().text);
    EXPECT_EQ(IsNormalEnd(GetParam().kind, GetParam().code), GetParam().normalEnd);
}

INSTANTIATE_TEST_SUITE_P(
    WindowRules, ErrorReports,
    testing::Values(ErrorCase{0, 13, L"error 13: 객체 생성 실패", false},
                    ErrorCase{1, 10061, L"error 10061: 연결 실패", false},
                    ErrorCase{2, 1460, L"error 1460: 요청 실패", false},
                    ErrorCase{3, -404, L"error -404: 수신 실패", false},
                    ErrorCase{3, -2147483647 - 1, L"error -2147483648: 수신 실패", false},
                    ErrorCase{9, 0, L"", true},
                    ErrorCase{9, 1, L"", false},
                    ErrorCase{4, 0, L"", false},
                    ErrorCase{8, 5, L"", false},
                    ErrorCase{10, 0, L"", false},
                    ErrorCase{-1, 0, L"", false}));

TEST(WindowRules, ExtractionErrorTextCarriesTheNumber) {
    EXPECT_EQ(ExtractionErrorText(1000), L"ErrCode = [1000]");
    EXPECT_EQ(ExtractionErrorText(8), L"ErrCode = [8]");
}

TEST(WindowRules, TheLauncherLivesBesideTheCabinet) {
    EXPECT_EQ(ExtractionFolder("/home/u/Documents/Quarvex/quarvex.cab"), "/home/u/Documents/Quarvex");
    EXPECT_EQ(LauncherPath("/home/u/Documents/Quarvex"), "/home/u/Documents/Quarvex/Ferrowind.exe");
    EXPECT_EQ(ExtractionFolder("quarvex.cab"), "");
}

TEST(WindowRules, ParametersAreThePrefixFollowedDirectlyByTheConfigurationPart) {
    EXPECT_EQ(LauncherParameters(""), "KOR_0001|ResourceDLL_kor");
    EXPECT_EQ(LauncherParameters("|1|23|4"), "KOR_0001|ResourceDLL_kor|1|23|4");
}
