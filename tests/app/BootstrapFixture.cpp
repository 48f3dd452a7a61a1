#include "BootstrapFixture.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "app/CtarnwickDlg.h"
#include "controls/KoreanFont.h"
#include "platform/SocketLayer.h"
#include "platform/WindowThread.h"
#include "res/Resources.h"
#include "support/XvfbDisplay.h"

namespace fs = std::filesystem;

namespace {

constexpr char kNoticeCaption[] = "알림";

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool IsNoticeBox(Fl_Window* w) {
    return w->shown() && w->label() != nullptr && std::string(w->label()) == kNoticeCaption;
}

Fl_Box* BoxAt(Fl_Window& window, const res::DialogUnits& item) {
    const res::PixelRect r = res::ToPixels(item);
    for (int i = 0; i < window.children(); ++i) {
        auto* box = dynamic_cast<Fl_Box*>(window.child(i));
        if (box != nullptr && box->x() == r.x && box->y() == r.y) return box;
    }
    return nullptr;
}

// The state one run of the window shares with its check.
struct WindowRun {
    Observation seen;
    Reaction react;
    std::chrono::steady_clock::time_point deadline;
    std::set<Fl_Window*> boxesSeen;
    Fl_Window* dialog = nullptr;
    bool pressOk = true;
};

Fl_Window* FindDialog() {
    for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
        if (w->shown() && !IsNoticeBox(w)) return w;
    }
    return nullptr;
}

// A box that is gone is deleted, and the next box may be given its address: a box counts as seen
// only while it is still open, and one this check answers is forgotten at once.
void ForgetClosedBoxes(WindowRun& run) {
    std::set<Fl_Window*> open;
    for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
        if (IsNoticeBox(w)) open.insert(w);
    }
    std::erase_if(run.boxesSeen, [&open](Fl_Window* w) { return open.count(w) == 0; });
}

void AnswerBoxes(WindowRun& run) {
    ForgetClosedBoxes(run);
    std::vector<Fl_Window*> boxes;
    for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
        if (IsNoticeBox(w) && run.boxesSeen.insert(w).second) boxes.push_back(w);
    }
    for (Fl_Window* box : boxes) {
        std::string text;
        Fl_Button* ok = nullptr;
        for (int i = 0; i < box->children(); ++i) {
            if (auto* button = dynamic_cast<Fl_Button*>(box->child(i))) {
                ok = button;
            } else if (auto* label = dynamic_cast<Fl_Box*>(box->child(i)); label && label->label()) {
                text = label->label();
            }
        }
        run.seen.boxTexts.push_back(text);
        run.seen.boxCaptions.push_back(box->label());
        run.seen.lastChange = std::chrono::steady_clock::now();
        if (ok != nullptr && run.pressOk) {
            ok->do_callback();
            run.boxesSeen.erase(box);
        }
    }
}

void Observe(void* data) {
    WindowRun& run = *static_cast<WindowRun*>(data);
    Fl_Window* dialog = FindDialog();
    if (dialog == nullptr) return;
    run.dialog = dialog;
    run.seen.title = dialog->label() ? dialog->label() : "";
    if (Fl_Box* status = BoxAt(*dialog, res::kStatusItem); status && status->label()) {
        if (run.seen.statuses.empty() || run.seen.statuses.back() != status->label()) {
            run.seen.statuses.push_back(status->label());
            run.seen.lastChange = std::chrono::steady_clock::now();
        }
    }
    if (Fl_Box* counts = BoxAt(*dialog, res::kByteCountItem); counts && counts->label()) {
        run.seen.byteCounts = counts->label();
    }
    AnswerBoxes(run);
    if (std::chrono::steady_clock::now() > run.deadline) {
        run.seen.timedOut = true;
        run.seen.closedByTest = true;
        dialog->do_callback();
        return;
    }
    if (run.react) run.react(run.seen, *dialog);
}

// Keeps the window thread waking up, so the check runs also while nothing else happens.
void Tick(void*) { Fl::repeat_timeout(0.005, Tick); }

}  // namespace

bool Observation::Saw(const std::string& status) const {
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
}

bool Observation::SawInOrder(const std::vector<std::string>& expected) const {
    auto next = statuses.begin();
    for (const std::string& want : expected) {
        next = std::find(next, statuses.end(), want);
        if (next == statuses.end()) return false;
        ++next;
    }
    return true;
}

void BootstrapTest::SetUpTestSuite() {
    platform::BecomeWindowThread();
    platform::StartSocketLayer();
}

void BootstrapTest::SetUp() {
    ASSERT_TRUE(SharedXvfbDisplay().Running()) << SharedXvfbDisplay().Error();
    if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed (scripts/install-deps)";
    UseKoreanFont();
    fs::create_directories(scratch.Path("home"));
    fs::create_directories(ConfigRoot());
    fs::create_directories(fs::path(CabinetPath()).parent_path());
    home = std::make_unique<ScopedEnv>("HOME", scratch.Path("home").c_str());
    configHome = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", nullptr);
    launcherWithoutWindow = std::make_unique<ScopedEnv>("FERROWIND_DEMO_NO_WINDOW", "1");
}

void BootstrapTest::WriteConfigurationText(const std::string& text) const {
    std::ofstream(ConfigRoot() + "/quarvex_fgt.ini", std::ios::binary) << text;
}

void BootstrapTest::MakeCabinet(const std::vector<std::pair<std::string, std::string>>& files,
                                bool withLauncher) const {
    const std::string stage = scratch.Path("stage");
    fs::remove_all(stage);
    fs::create_directories(stage);
    std::string names;
    if (withLauncher) {
        fs::copy_file(TARNWICK_DEMO_LAUNCHER, stage + "/Ferrowind.exe");
        names += " Ferrowind.exe";
    }
    for (const auto& [name, content] : files) {
        fs::create_directories(fs::path(stage + "/" + name).parent_path());
        std::ofstream(stage + "/" + name, std::ios::binary) << content;
        names += " " + ShellQuote(name);
    }
    const std::string command =
        "cd " + ShellQuote(stage) + " && gcab -c -z " + ShellQuote(CabinetPath()) + names;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void BootstrapTest::PlaceOldLauncher() const {
    fs::create_directories(DownloadFolder());
    fs::copy_file(TARNWICK_DEMO_LAUNCHER, DownloadFolder() + "/Ferrowind.exe");
}

Observation BootstrapTest::RunWindow(const DemoServerSettings& settings, const Reaction& react,
                                     std::chrono::seconds limit) {
    DemoServers servers(settings);
    EXPECT_TRUE(servers.Started()) << servers.ErrorLog();
    if (!servers.Started()) return {};

    WindowRun run;
    run.react = react;
    run.pressOk = pressOkOnBoxes;
    run.deadline = std::chrono::steady_clock::now() + limit;
    Fl::add_check(Observe, &run);
    Fl::add_timeout(0.005, Tick);
    {
        CtarnwickDlg dlg;
        dlg.DoModal();
    }
    Fl::remove_timeout(Tick);
    Fl::remove_check(Observe, &run);
    EXPECT_FALSE(run.seen.timedOut) << "the window did not end within " << limit.count() << " s";
    return run.seen;
}

std::vector<std::string> BootstrapTest::LauncherRecord(std::chrono::milliseconds timeout) const {
    const std::string record = DownloadFolder() + "/Ferrowind.args";
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fs::exists(record) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::vector<std::string> lines;
    std::ifstream in(record);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(generator());
    return bytes;
}

std::string GroupedCount(long long count) {
    std::string digits = std::to_string(count);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
    return digits;
}
