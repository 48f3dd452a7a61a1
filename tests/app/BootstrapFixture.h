// The whole bootstrap in the test's own process: the real main window (CtarnwickDlg) on a
// private Xvfb, the demo's two servers run by a real nginx on the compiled-in loopback ports,
// and a scratch HOME, so the download lands in a Documents folder of the test's own.
//
// The test is the window thread. While the window runs, an FLTK check (run between the window
// thread's events) records what the window shows: its title, every change of the status line,
// the byte-count line, and every message box, whose text and caption it records before it
// presses OK. A test reacts to what was seen so far through its own hook, e.g. to close the
// window mid-download.
#pragma once

#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/DemoServers.h"
#include "support/ScratchFolder.h"

struct Observation {
    std::string title;
    std::vector<std::string> statuses;  // each change of the status line, in order
    std::string byteCounts;             // the byte-count line as last seen
    std::vector<std::string> boxTexts;
    std::vector<std::string> boxCaptions;
    bool closedByTest = false;
    bool timedOut = false;
    std::chrono::steady_clock::time_point lastChange;

    bool Saw(const std::string& status) const;
    // Whether expected appear among statuses in this order (others may come between).
    bool SawInOrder(const std::vector<std::string>& expected) const;
};

// Called between the window thread's events with what was seen so far and the main window.
using Reaction = std::function<void(Observation& seen, Fl_Window& window)>;

class BootstrapTest : public testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;

    // The folder the program downloads into and extracts to.
    std::string DownloadFolder() const { return scratch.Path("home/Documents/Quarvex"); }
    std::string ConfigRoot() const { return scratch.Path("config"); }
    std::string DownloadRoot() const { return scratch.Path("download"); }
    std::string CabinetPath() const { return DownloadRoot() + "/download/quarvex/quarvex.cab"; }

    void WriteConfigurationText(const std::string& text) const;
    // Makes the served cabinet with gcab from files (stored name with "/" folders, content),
    // with the demo launcher as Ferrowind.exe in front unless withLauncher is false.
    void MakeCabinet(const std::vector<std::pair<std::string, std::string>>& files,
                     bool withLauncher = true) const;
    // A demo launcher left in the download folder by an earlier run.
    void PlaceOldLauncher() const;

    // Starts the servers, runs the window until it has gone, and returns what it showed.
    Observation RunWindow(const DemoServerSettings& settings, const Reaction& react = nullptr,
                          std::chrono::seconds limit = std::chrono::seconds(60));
    DemoServerSettings Servers(std::string limitRate = "0") const {
        return {ConfigRoot(), DownloadRoot(), std::move(limitRate), true};
    }

    // The launcher's record (demo/FerrowindDemo.cpp), once it appears; empty after timeout.
    std::vector<std::string> LauncherRecord(std::chrono::milliseconds timeout =
                                                std::chrono::seconds(10)) const;

    ScratchFolder scratch;
    // Whether the check presses OK on every box it finds (it records them either way).
    bool pressOkOnBoxes = true;

private:
    std::unique_ptr<ScopedEnv> home;
    std::unique_ptr<ScopedEnv> configHome;
    std::unique_ptr<ScopedEnv> launcherWithoutWindow;
    // The demo servers are on loopback; a proxy from the environment must not stand between.
    ScopedNoProxy noProxy;
};

std::string ReadWholeFile(const std::string& path);
// size bytes that do not compress, the same for the same seed.
std::string RandomBytes(size_t size, unsigned seed);
// A byte count as the window writes it, for the counts the tests use (below a billion).
std::string GroupedCount(long long count);
