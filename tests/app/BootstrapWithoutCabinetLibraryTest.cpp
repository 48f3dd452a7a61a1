// The bootstrap when the cabinet library cannot be loaded. This program is built into a folder
// of its own, where its RUNPATH finds no libcabinet.so.
#include <gtest/gtest.h>

#include <filesystem>

#include "BootstrapFixture.h"

TEST_F(BootstrapTest, WithoutTheCabinetLibraryTwoBoxesThenTheLauncherStartIsAttempted) {
    ASSERT_FALSE(std::filesystem::exists(std::filesystem::path(TARNWICK_TEST_PROGRAM).parent_path() /
                                         "libcabinet.so"))
        << "this program must run without the cabinet library beside it";
    WriteConfigurationText("a=1\nb=2\nc=3\nd=4\n");
    MakeCabinet({{"readme.txt", "x"}});
    // An older launcher from an earlier run is started even when nothing could be extracted.
    PlaceOldLauncher();

    const Observation seen = RunWindow(Servers());

    EXPECT_FALSE(seen.closedByTest);
    const std::vector<std::string> boxes = {"ErrCode = [1000]", "ErrCode = [1000]"};
    EXPECT_EQ(seen.boxTexts, boxes);
    EXPECT_EQ(seen.boxCaptions, std::vector<std::string>({"알림", "알림"}));
    EXPECT_TRUE(seen.SawInOrder({"압축푸는 중", "압축풀기 실패", "압축풀기 완료"}))
        << testing::PrintToString(seen.statuses);
    EXPECT_FALSE(seen.Saw("런쳐실행 실패"));
    EXPECT_FALSE(std::filesystem::exists(DownloadFolder() + "/readme.txt"));
    const std::vector<std::string> record = LauncherRecord();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[1], "arg=KOR_0001|ResourceDLL_kor|1|23|4");
}
