// Starts a program and watches it from outside, for scripts/bench-bootstrap.
//
//   bootstrap_watch WINDOW_NAME FILE SIZE -- PROGRAM [ARGS...]
//
// Reports, once PROGRAM has ended (or FILE has reached SIZE bytes and then the program ended):
//   first_paint_ms  from the start of PROGRAM to the mapping of its top-level window named
//                   WINDOW_NAME on $DISPLAY (the window paints as it is mapped)
//   download_s      from the first byte of FILE to its SIZE-th byte, by polling every millisecond
//   download_cpu_s  CPU time (user + system) PROGRAM spent in that span
//   total_cpu_s     CPU time of the whole run
//   peak_rss_kib    the program's peak resident set (VmHWM), last seen before it ended
//   exit            its exit status
// The same watch without a window (WINDOW_NAME "-") serves the engine-only run.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

long long FileSize(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// utime + stime of a process, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long PeakRssKib(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

bool IsNamed(Display* display, Window window, const char* name) {
    XTextProperty property;
    if (XGetWMName(display, window, &property) == 0 || property.value == nullptr) return false;
    const bool same = std::strcmp(reinterpret_cast<const char*>(property.value), name) == 0;
    XFree(property.value);
    return same;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6 || std::strcmp(argv[4], "--") != 0) {
        std::fprintf(stderr, "usage: %s WINDOW_NAME FILE SIZE -- PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const char* windowName = argv[1];
    const char* file = argv[2];
    const long long size = std::atoll(argv[3]);
    const bool watchWindow = std::strcmp(windowName, "-") != 0;

    Display* display = watchWindow ? XOpenDisplay(nullptr) : nullptr;
    if (watchWindow && display == nullptr) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    if (display) XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    const Clock::time_point start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::execv(argv[5], argv + 5);
        ::_exit(127);
    }

    double firstPaintMs = -1;
    Clock::time_point firstByte{}, lastByte{};
    double cpuAtFirstByte = -1, cpuAtLastByte = -1, cpuTotal = 0;
    long peakRss = -1;
    int status = 0;
    const auto watchFile = [&](double cpu) {
        const long long got = FileSize(file);
        if (got > 0 && cpuAtFirstByte < 0) {
            firstByte = Clock::now();
            cpuAtFirstByte = cpu;
        }
        if (got == size && cpuAtLastByte < 0) {
            lastByte = Clock::now();
            cpuAtLastByte = cpu;
        }
    };
    for (;;) {
        const bool ended = ::waitpid(child, &status, WNOHANG) == child;
        const double cpu = ended ? cpuTotal : CpuSeconds(child);
        // A program that ends right after its last byte is still seen to have got it.
        watchFile(cpu);
        if (ended) break;
        if (cpu >= 0) cpuTotal = cpu;
        if (const long rss = PeakRssKib(child); rss > peakRss) peakRss = rss;
        while (display && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && firstPaintMs < 0 &&
                IsNamed(display, event.xmap.window, windowName)) {
                firstPaintMs = Seconds(Clock::now() - start) * 1000;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (display) XCloseDisplay(display);

    std::printf("first_paint_ms=%.1f\n", firstPaintMs);
    std::printf("download_s=%.4f\n", cpuAtLastByte < 0 ? -1.0 : Seconds(lastByte - firstByte));
    std::printf("download_cpu_s=%.3f\n", cpuAtLastByte < 0 ? -1.0 : cpuAtLastByte - cpuAtFirstByte);
    std::printf("total_cpu_s=%.3f\n", cpuTotal);
    std::printf("peak_rss_kib=%ld\n", peakRss);
    std::printf("exit=%d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}
