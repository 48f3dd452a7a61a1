// The real program, started as a user starts it, on a private Xvfb against nginx as both
// servers: it shows its window, finishes the bootstrap, starts the launcher and exits with 0.
// A screenshot of the window taken mid-download is checked for the status text and the bar,
// and kept in the build tree (screenshots/main-window.png).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "BootstrapFixture.h"
#include "controls/KoreanFont.h"
#include "res/Resources.h"
#include "support/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

struct Rgb {
    unsigned char r, g, b;
    bool Dark() const { return r + g + b < 3 * 96; }
};

// The window's pixels, read with ImageMagick from the screenshot.
std::vector<Rgb> ReadPixels(const std::string& png, int width, int height) {
    const std::string raw = CommandOutput("convert '" + png + "' -depth 8 rgb:-");
    std::vector<Rgb> pixels;
    if (raw.size() != static_cast<size_t>(width) * height * 3) return pixels;
    for (size_t i = 0; i < raw.size(); i += 3) {
        pixels.push_back({static_cast<unsigned char>(raw[i]), static_cast<unsigned char>(raw[i + 1]),
                          static_cast<unsigned char>(raw[i + 2])});
    }
    return pixels;
}

int CountIn(const std::vector<Rgb>& pixels, int width, const res::PixelRect& r,
            bool (*wanted)(const Rgb&)) {
    int count = 0;
    for (int y = r.y; y < r.y + r.h; ++y) {
        for (int x = r.x; x < r.x + r.w; ++x) count += wanted(pixels[y * width + x]) ? 1 : 0;
    }
    return count;
}

using TarnwickProgram = BootstrapTest;

TEST_F(TarnwickProgram, RunsTheWholeBootstrapAndExitsWithZero) {
    WriteConfigurationText("server=kr-live-01\npatch=7\nbuild=1\nlocale=ko_KR\n");
    const std::string payload = RandomBytes(600 * 1024, 3);
    MakeCabinet({{"data/payload.bin", payload}});
    DemoServers servers(Servers("300k"));  // about two seconds of download to watch
    ASSERT_TRUE(servers.Started()) << servers.ErrorLog();

    ChildProcess program({TARNWICK_PROGRAM});
    std::string windowId;
    for (int i = 0; i < 500 && windowId.empty() && program.Running(); ++i) {
        windowId = CommandOutput("xdotool search --onlyvisible --name '^Quarvex$' 2>/dev/null");
        if (windowId.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(windowId.empty()) << "the window \"Quarvex\" never appeared";
    windowId = windowId.substr(0, windowId.find('\n'));

    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    fs::create_directories(TARNWICK_SCREENSHOTS);
    const std::string shot = std::string(TARNWICK_SCREENSHOTS) + "/main-window.png";
    const std::string geometry = CommandOutput("import -window " + windowId + " '" + shot +
                                               "' && identify -format '%w %h' '" + shot + "'");
    const int exitStatus = program.WaitForExit(std::chrono::seconds(60));

    EXPECT_EQ(exitStatus, 0);
    const std::vector<std::string> record = LauncherRecord();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[1], "arg=KOR_0001|ResourceDLL_kor|kr-live-01|71|ko_KR");
    EXPECT_EQ(ReadWholeFile(DownloadFolder() + "/data/payload.bin"), payload);

    // The screenshot: the status text and the byte counts are drawn, the bar is partly
    // filled and its percentage label is drawn over it.
    const res::PixelRect window = res::ToPixels(res::kMainWindow);
    ASSERT_EQ(geometry, std::to_string(window.w) + " " + std::to_string(window.h));
    const std::vector<Rgb> pixels = ReadPixels(shot, window.w, window.h);
    ASSERT_FALSE(pixels.empty());
    EXPECT_FALSE(FindKoreanFontFamily().empty()) << "no Hangul font: the texts would be boxes";
    EXPECT_GT(CountIn(pixels, window.w, res::ToPixels(res::kStatusItem), [](const Rgb& p) { return p.Dark(); }), 40)
        << "status text not drawn; see " << shot;
    EXPECT_GT(CountIn(pixels, window.w, res::ToPixels(res::kByteCountItem), [](const Rgb& p) { return p.Dark(); }), 40)
        << "byte counts not drawn; see " << shot;
    const res::PixelRect bar = res::ToPixels(res::kProgressItem);
    const int barPixels = CountIn(pixels, window.w, bar, [](const Rgb& p) { return p.b > 100 && p.r < 100; });
    EXPECT_GT(barPixels, bar.h * 4) << "the filled part is missing; see " << shot;
    EXPECT_LT(barPixels, bar.w * bar.h * 95 / 100) << "the bar is full already; see " << shot;
}

}  // namespace
