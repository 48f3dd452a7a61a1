// FDICopy across a cabinet set: continuation cabinets loaded within one copy, partial files,
// and the next-cabinet dialogue with its retries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "fdi/FdiHarness.h"
#include "support/CabinetWriter.h"
#include "support/ScratchFolder.h"

namespace {

std::string Pattern(size_t size, uint32_t seed) {
    std::string data(size, '\0');
    for (char& c : data) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>('a' + (seed >> 27));
    }
    return data;
}

// small.txt fits the first cabinet; big.bin runs through three; tail.txt starts in the last.
std::vector<StoredFile> SetFiles() {
    return {{"small.txt", "first file\n"}, {"big.bin", Pattern(150000, 5)}, {"tail.txt", "after the span\n"}};
}

CabinetOptions SetOptions() {
    CabinetOptions options;
    options.compression = CabinetCompression::kStored;
    options.cabinetCapacity = 60000;
    options.cabinetNames = {"set1.cab", "set2.cab", "set3.cab"};
    return options;
}

int Count(const std::vector<std::string>& events, const std::string& prefix) {
    return static_cast<int>(std::count_if(events.begin(), events.end(),
                                          [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
}

class FdiSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        parts = WriteCabinetSet(SetFiles(), SetOptions());
        ASSERT_EQ(parts.size(), 3u);
        for (size_t i = 0; i < parts.size(); ++i) {
            ASSERT_TRUE(SaveFile(scratch.Path(SetOptions().cabinetNames[i]), parts[i]));
        }
        folder = scratch.Path("") + "/";
    }

    ScratchFolder scratch;
    std::vector<std::string> parts;
    std::string folder;
    FdiHarness harness;
};

TEST_F(FdiSetTest, FileSpanningThreeCabinetsIsFinishedWithinOneCopy) {
    ASSERT_TRUE(harness.Copy("set1.cab", folder));

    const std::vector<std::string> expected = {
        "CABINET_INFO next=set2.cab disk=disk 2 set=4321 index=0",
        "COPY_FILE small.txt 11",
        "CLOSE_FILE_INFO small.txt date=2a43 time=20a3 attribs=20 run=0",
        "COPY_FILE big.bin 150000",
        "NEXT_CABINET set2.cab fdie=0",
        "CABINET_INFO next=set3.cab disk=disk 3 set=4321 index=1",
        "NEXT_CABINET set3.cab fdie=0",
        "CABINET_INFO next= disk= set=4321 index=2",
        "CLOSE_FILE_INFO big.bin date=2a43 time=20a3 attribs=20 run=0",
    };
    EXPECT_EQ(harness.events, expected);
    EXPECT_EQ(harness.written["big.bin"], SetFiles()[1].data);
    EXPECT_EQ(FdiHarness::allocations, FdiHarness::frees);
    EXPECT_EQ(FdiHarness::opens, FdiHarness::closes);
}

TEST_F(FdiSetTest, LastCabinetAnnouncesTheContinuedFileAsPartialAndCopiesItsOwn) {
    ASSERT_TRUE(harness.Copy("set3.cab", folder));

    EXPECT_EQ(Count(harness.events, "PARTIAL_FILE big.bin from=set2.cab"), 1);
    EXPECT_EQ(harness.written.count("big.bin"), 0u);
    EXPECT_EQ(harness.written["tail.txt"], SetFiles()[2].data);
}

TEST_F(FdiSetTest, MiddleCabinetHoldsOnlyPartOfTheSpanningFile) {
    ASSERT_TRUE(harness.Copy("set2.cab", folder));
    EXPECT_EQ(harness.events, (std::vector<std::string>{"CABINET_INFO next=set3.cab disk=disk 3 set=4321 index=1",
                                                        "PARTIAL_FILE big.bin from=set1.cab"}));
}

struct RetryCase {
    const char* name;
    std::string (*replacement)(const std::vector<std::string>& parts);  // what stands at set2.cab
    int fdie;
};

std::string Missing(const std::vector<std::string>&) { return {}; }
std::string NotACabinet(const std::vector<std::string>&) { return "this is not a cabinet"; }
std::string OtherSet(const std::vector<std::string>&) {
    CabinetOptions options = SetOptions();
    options.setID = 99;
    return WriteCabinetSet(SetFiles(), options)[1];
}
std::string WrongIndex(const std::vector<std::string>& parts) { return parts[2]; }

void PrintTo(const RetryCase& c, std::ostream* os) { *os << c.name; }

class FdiRetryTest : public FdiSetTest, public ::testing::WithParamInterface<RetryCase> {};

// The callback learns why set2.cab failed and points the library at a folder that has it.
TEST_P(FdiRetryTest, AsksAgainWithTheReasonUntilTheCallbackFindsTheCabinet) {
    ASSERT_TRUE(std::filesystem::create_directory(scratch.Path("good")));
    ASSERT_TRUE(SaveFile(scratch.Path("good/set2.cab"), parts[1]));
    ASSERT_TRUE(SaveFile(scratch.Path("good/set3.cab"), parts[2]));
    const std::string replacement = GetParam().replacement(parts);
    std::filesystem::remove(scratch.Path("set2.cab"));
    if (!replacement.empty()) {
        ASSERT_TRUE(SaveFile(scratch.Path("set2.cab"), replacement));
    }
    const std::string goodFolder = scratch.Path("good");
    harness.intercept = [&](int type, FDINOTIFICATION* n, intptr_t& answer) {
        if (type != fdintNEXT_CABINET || n->fdie == FDIERROR_NONE) return false;
        EXPECT_EQ(std::strlen(n->psz3), folder.size());
        std::strcpy(n->psz3, goodFolder.c_str());  // without a trailing separator: one is added
        answer = 0;
        return true;
    };

    ASSERT_TRUE(harness.Copy("set1.cab", folder));

    EXPECT_EQ(Count(harness.events, "NEXT_CABINET set2.cab fdie=0"), 1);
    EXPECT_EQ(Count(harness.events, "NEXT_CABINET set2.cab fdie=" + std::to_string(GetParam().fdie)), 1);
    EXPECT_EQ(harness.written["big.bin"], SetFiles()[1].data);
    EXPECT_EQ(FdiHarness::opens, FdiHarness::closes);
}

INSTANTIATE_TEST_SUITE_P(Reasons, FdiRetryTest,
                         ::testing::Values(RetryCase{"Missing", Missing, FDIERROR_CABINET_NOT_FOUND},
                                           RetryCase{"NotACabinet", NotACabinet, FDIERROR_NOT_A_CABINET},
                                           RetryCase{"OtherSet", OtherSet, FDIERROR_WRONG_CABINET},
                                           RetryCase{"WrongIndex", WrongIndex, FDIERROR_WRONG_CABINET}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FdiSetTest, CallbackGivingUpOnTheNextCabinetAbortsAndClosesTheOutput) {
    std::filesystem::remove(scratch.Path("set2.cab"));

    EXPECT_FALSE(harness.Copy("set1.cab", folder));

    EXPECT_EQ(harness.erf.erfOper, FDIERROR_USER_ABORT);
    EXPECT_EQ(harness.events.back().rfind("CLOSE_FILE_INFO big.bin", 0), 0u);
    EXPECT_EQ(FdiHarness::opens, FdiHarness::closes);
    EXPECT_EQ(FdiHarness::allocations, FdiHarness::frees);
}

TEST_F(FdiSetTest, EveryAllocationFailureAcrossTheSetGivesOutOfMemoryAndLeaksNothing) {
    for (int failAt = 0;; ++failAt) {
        FdiHarness run;
        FdiHarness::failAllocationAt = failAt;
        const bool copied = run.Copy("set1.cab", folder);
        EXPECT_EQ(FdiHarness::allocations, FdiHarness::frees) << "failing allocation " << failAt;
        EXPECT_EQ(FdiHarness::opens, FdiHarness::closes) << "failing allocation " << failAt;
        if (copied) break;
        if (failAt > 0) {
            EXPECT_EQ(run.erf.erfOper, FDIERROR_ALLOC_FAIL) << "failing allocation " << failAt;
        }
        ASSERT_LT(failAt, 10000);
    }
}

}  // namespace
