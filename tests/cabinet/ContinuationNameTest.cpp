// CCabinetExtractor beside a scripted cabinet library (ScriptedLibrary.cpp): which cabinets it
// copies after a next-cabinet announcement.
#include <gtest/gtest.h>

#include "cabinet/ExtractorRun.h"

namespace {

TEST(ContinuationNameTest, ContinuationNamedLikeTheCurrentCabinetInOtherCaseEndsTheRun) {
    const Outcome outcome = Extract("/nonexistent-destination", "/some/folder/same.cab");
    EXPECT_TRUE(outcome.extracted);
    EXPECT_EQ(outcome.code, 0);
}

TEST(ContinuationNameTest, OtherContinuationIsCopiedNextAndItsFailureReported) {
    const Outcome outcome = Extract("/nonexistent-destination", "/some/folder/first.cab");
    EXPECT_FALSE(outcome.extracted);
    EXPECT_EQ(outcome.code, 77);
}

}  // namespace
