// Prints what the progress bar costs: the time of one paint (fills, label twice, one copy to the
// screen) at the main window's size, and the cost of SetPos on a worker thread when the filled
// width stays and when it moves. Not a test: figures only.
//
//     cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release
//     cmake --build build/bench --target controls_paint_bench && build/bench/bin/controls_paint_bench [frames]
#include "ProgressWindow.h"

#include "controls/KoreanFont.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The main window's bar: 219 by 10 dialog units at about 1.75 pixels per unit.
constexpr int kBarWidth = 384;

void Report(const char* what, std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) { return micros[static_cast<std::size_t>(q * (micros.size() - 1))]; };
    std::printf("%-44s median %8.2f us   p90 %8.2f us   p99 %8.2f us   (%zu runs)\n", what, at(0.5),
                at(0.9), at(0.99), micros.size());
}

std::vector<double> TimePaints(ProgressWindow& view, int frames) {
    std::vector<double> micros;
    for (int i = 0; i < frames; ++i) {
        view.bar->SetPos(i % 101);
        view.bar->redraw();
        const auto start = Clock::now();
        Fl::flush();
        XSync(fl_display, False);  // the copy has reached the server
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return micros;
}

// Nanoseconds per SetPos call from a second thread; the window's loop is not run meanwhile, so
// at most the first moving call queues a wake-up and the rest find it pending.
double SetPosNanos(CTextProgressCtrl& bar, int calls, bool moving) {
    double nanos = 0;
    std::thread worker([&] {
        const auto start = Clock::now();
        for (int i = 0; i < calls; ++i) bar.SetPos(moving ? i % 101 : 50);
        nanos = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / calls;
    });
    worker.join();
    return nanos;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    XvfbDisplay display;
    if (!display.Running()) {
        std::fprintf(stderr, "no display: %s\n", display.Error().c_str());
        return 1;
    }
    Fl::lock();
    std::printf("Hangul font: %s\n", FindKoreanFontFamily().c_str());
    UseKoreanFont();
    ProgressWindow view(kBarWidth);
    view.bar->labelsize(12);
    if (!view.Show()) return 1;

    Report("paint, percentage only (384x24)", TimePaints(view, frames));
    view.bar->SetWindowText(L"런쳐 다운로드중");
    Report("paint, Korean window text and percentage", TimePaints(view, frames));

    const int calls = 1'000'000;
    std::printf("%-44s %8.1f ns per call\n", "SetPos from a worker, same filled width", SetPosNanos(*view.bar, calls, false));
    std::printf("%-44s %8.1f ns per call\n", "SetPos from a worker, width moving", SetPosNanos(*view.bar, calls, true));

    // A download's worth of progress reports: 0 to 100 percent in 100000 pieces.
    const int paintsBefore = view.bar->paints;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int piece = 0; piece <= 100'000; ++piece) view.bar->SetPos(static_cast<int>(piece / 1000));
        done = true;
    });
    while (!done) Fl::wait(0.001);
    worker.join();
    ProgressWindow::Settle();
    std::printf("%-44s %8d paints for 100001 reports\n", "100001 reports as fast as a worker can",
                view.bar->paints - paintsBefore);
    Fl::unlock();
    return 0;
}
