// CCabinetExtractor where libcabinet.so is missing or lacks an entry point. Built twice: once
// into a folder without the library, once into a folder whose library lacks FDIIsCabinet.
#include <gtest/gtest.h>

#include "cabinet/CabinetExtractor.h"

namespace {

TEST(ExtractorBindingTest, UnusableLibraryGives1000AndExtractFailsAtOnce) {
    CCabinetExtractor extractor;

    EXPECT_FALSE(extractor.Create());
    EXPECT_EQ(extractor.ReportedErrorCode(), 1000);
    EXPECT_FALSE(extractor.Extract("/nonexistent-destination", "/nonexistent/folder/x.cab"));
    EXPECT_EQ(extractor.ReportedErrorCode(), 1000);
    EXPECT_FALSE(extractor.Create()) << "a second attempt finds the same library";
    EXPECT_EQ(extractor.ReportedErrorCode(), 1000);
}

}  // namespace
