// The whole bootstrap end to end: the real main window against nginx as both servers.
#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "BootstrapFixture.h"

// Last: Xlib's macros (None, Bool ...) would break the headers above.
#include <FL/x.H>

namespace fs = std::filesystem;

namespace {

const std::string kPrefix = "KOR_0001|ResourceDLL_kor";

const std::vector<std::pair<std::string, std::string>> kGameFiles = {
    {"readme.txt", "Quarvex 런쳐 데모\r\n"},
    {"data/table.bin", RandomBytes(300 * 1024, 7)},
    {"data/locale/ko/strings.txt", "시작=시작하기\n"},
};

using BootstrapNormal = BootstrapTest;

TEST_F(BootstrapNormal, DownloadsExtractsStartsTheLauncherAndClosesByItself) {
    WriteConfigurationText("server = kr-live-01\r\npatch=2026.12\nbuild = 0417 \nlocale=ko_KR\nignored=x\n");
    MakeCabinet(kGameFiles);
    const long long cabinetSize = static_cast<long long>(fs::file_size(CabinetPath()));

    const Observation seen = RunWindow(Servers());

    EXPECT_FALSE(seen.closedByTest);
    EXPECT_EQ(seen.title, "Quarvex");
    EXPECT_TRUE(seen.SawInOrder({"준비중", "연결 성공", "요청 성공", "런쳐 다운로드중", "압축푸는 중",
                                 "압축풀기 완료"}))
        << testing::PrintToString(seen.statuses);
    EXPECT_FALSE(seen.Saw("압축풀기 실패"));
    EXPECT_FALSE(seen.Saw("런쳐실행 실패"));
    EXPECT_TRUE(seen.boxTexts.empty()) << testing::PrintToString(seen.boxTexts);
    const std::string total = GroupedCount(cabinetSize);
    EXPECT_EQ(seen.byteCounts, total + " Bytes / " + total + " Bytes");

    EXPECT_EQ(ReadWholeFile(DownloadFolder() + "/quarvex.cab"), ReadWholeFile(CabinetPath()));
    for (const auto& [name, content] : kGameFiles) {
        EXPECT_EQ(ReadWholeFile(DownloadFolder() + "/" + name), content) << name;
    }
    EXPECT_EQ(ReadWholeFile(DownloadFolder() + "/Ferrowind.exe"), ReadWholeFile(TARNWICK_DEMO_LAUNCHER));

    const std::vector<std::string> record = LauncherRecord();
    const std::vector<std::string> expected = {
        "cwd=" + fs::current_path().string(),
        "arg=" + kPrefix + "|kr-live-01|2026.120417|ko_KR"};
    EXPECT_EQ(record, expected);
}

TEST_F(BootstrapNormal, ARefusedCabinetIsShownInABoxAndTheWindowStaysOpen) {
    WriteConfigurationText("a=1\nb=2\nc=3\nd=4\n");  // and no cabinet on the download host
    const auto openFor = std::chrono::milliseconds(700);
    const Observation seen = RunWindow(Servers(), [&](Observation& s, Fl_Window& window) {
        if (!s.boxTexts.empty() && std::chrono::steady_clock::now() - s.lastChange > openFor) {
            s.closedByTest = true;
            window.do_callback();
        }
    });

    ASSERT_EQ(seen.boxTexts.size(), 1u);
    EXPECT_EQ(seen.boxTexts[0], "error -404: 수신 실패");
    EXPECT_EQ(seen.boxCaptions[0], "알림");
    EXPECT_TRUE(seen.closedByTest) << "the window must stay open after a failure";
    ASSERT_FALSE(seen.statuses.empty());
    EXPECT_EQ(seen.statuses.back(), "요청 성공");
    EXPECT_EQ(seen.byteCounts, "/");
    EXPECT_TRUE(LauncherRecord(std::chrono::milliseconds(200)).empty());
}

TEST_F(BootstrapNormal, ClosingTheWindowClosesTheBoxTheWorkerWaitsOn) {
    WriteConfigurationText("a=1\nb=2\nc=3\nd=4\n");  // and no cabinet: the worker shows a box
    pressOkOnBoxes = false;
    const Observation seen = RunWindow(Servers(), [](Observation& s, Fl_Window& window) {
        if (!s.boxTexts.empty() && !s.closedByTest) {
            s.closedByTest = true;
            window.do_callback();
        }
    });

    EXPECT_FALSE(seen.timedOut) << "the window waited for a worker held by a box";
    ASSERT_EQ(seen.boxTexts.size(), 1u);
    for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
        EXPECT_FALSE(w->shown()) << "still shown: " << (w->label() ? w->label() : "");
    }
}

TEST_F(BootstrapNormal, WithoutTheConfigurationServerTheLauncherGetsThePrefixAlone) {
    MakeCabinet(kGameFiles);
    DemoServerSettings settings = Servers();
    settings.configServerUp = false;

    const Observation seen = RunWindow(settings);

    EXPECT_FALSE(seen.closedByTest);
    EXPECT_TRUE(seen.boxTexts.empty());
    const std::vector<std::string> record = LauncherRecord();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[1], "arg=" + kPrefix);
}

TEST_F(BootstrapNormal, ACabinetWithoutTheLauncherEndsWithLauncherFailedAndCloses) {
    WriteConfigurationText("a=1\nb=2\nc=3\nd=4\n");
    MakeCabinet(kGameFiles, /*withLauncher=*/false);

    const Observation seen = RunWindow(Servers());

    EXPECT_FALSE(seen.closedByTest);
    EXPECT_TRUE(seen.SawInOrder({"압축푸는 중", "압축풀기 완료", "런쳐실행 실패"}))
        << testing::PrintToString(seen.statuses);
    EXPECT_TRUE(seen.boxTexts.empty()) << testing::PrintToString(seen.boxTexts);
    EXPECT_EQ(ReadWholeFile(DownloadFolder() + "/data/table.bin"), kGameFiles[1].second);
}

// Closing the window while the cabinet is still arriving, by each way a user has.
enum class CloseWay { kCloseBox, kEscape, kEnter };

void PrintTo(CloseWay way, std::ostream* os) {
    *os << (way == CloseWay::kCloseBox ? "close box" : way == CloseWay::kEscape ? "Escape" : "Enter");
}

class BootstrapClosing : public BootstrapTest, public testing::WithParamInterface<CloseWay> {};

void Close(CloseWay way, Fl_Window& window) {
    if (way == CloseWay::kCloseBox) {
        window.do_callback();  // what FLTK does for the window manager's close request
        return;
    }
    const std::string key = way == CloseWay::kEscape ? "Escape" : "Return";
    const std::string command = "xdotool windowfocus --sync " + std::to_string(fl_xid(&window)) +
                                " key " + key;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST_P(BootstrapClosing, MidDownloadStopsTheWorkerAndEndsCleanly) {
    WriteConfigurationText("a=1\nb=2\nc=3\nd=4\n");
    MakeCabinet({{"big.bin", RandomBytes(2 * 1024 * 1024, 11)}});
    bool closeSent = false;
    std::chrono::steady_clock::time_point closedAt;

    const Observation seen = RunWindow(Servers("200k"), [&](Observation& s, Fl_Window& window) {
        if (!closeSent && s.Saw("런쳐 다운로드중") && s.byteCounts != "/") {
            closeSent = true;
            s.closedByTest = true;
            closedAt = std::chrono::steady_clock::now();
            Close(GetParam(), window);
        }
    });
    const auto closing = std::chrono::steady_clock::now() - closedAt;

    EXPECT_TRUE(closeSent);
    EXPECT_FALSE(seen.timedOut);
    EXPECT_LT(closing, std::chrono::seconds(3)) << "the window must not wait for the download";
    EXPECT_FALSE(seen.Saw("압축푸는 중"));
    EXPECT_TRUE(seen.boxTexts.empty()) << testing::PrintToString(seen.boxTexts);
    EXPECT_TRUE(LauncherRecord(std::chrono::milliseconds(200)).empty());
}

INSTANTIATE_TEST_SUITE_P(Bootstrap, BootstrapClosing,
                         testing::Values(CloseWay::kCloseBox, CloseWay::kEscape, CloseWay::kEnter));

}  // namespace
