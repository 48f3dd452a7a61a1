#include "support/XvfbDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr auto kStopTimeout = std::chrono::seconds(5);

// Reads what Xvfb writes to -displayfd: its display number and a line feed.
std::string ReadDisplayNumber(int fd) {
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return {};
        pollfd waitFor{fd, POLLIN, 0};
        const int ready = ::poll(&waitFor, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return {};
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return {};
        if (c == '\n') return number;
        number += c;
    }
}

bool WaitForExit(pid_t pid, std::chrono::steady_clock::duration limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::unique_ptr<XvfbDisplay>& SharedSlot() {
    static std::unique_ptr<XvfbDisplay> display;
    return display;
}

// Stops the shared display after the last test of the program, passed or failed.
class XvfbEnvironment : public ::testing::Environment {
public:
    void TearDown() override { SharedSlot().reset(); }
};

[[maybe_unused]] const auto* const registered =
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

}  // namespace

XvfbDisplay::XvfbDisplay() {
    if (const char* old = std::getenv("DISPLAY")) previousDisplay = old;
    Start();
}

XvfbDisplay::~XvfbDisplay() { Stop(); }

void XvfbDisplay::Start() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here to exec.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0) {
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        // The server writes its number to descriptor 3, which must survive the exec.
        if (fds[1] == 3) ::fcntl(3, F_SETFD, 0);
        else if (::dup2(fds[1], 3) != 3) ::_exit(127);
        ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24",
                 "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    const std::string number = ReadDisplayNumber(fds[0]);
    ::close(fds[0]);
    server = child;
    if (number.empty()) {
        error = "Xvfb did not report a display number (is the package xvfb installed?)";
        Stop();
        return;
    }
    name = ":" + number;
    ::setenv("DISPLAY", name.c_str(), 1);
}

void XvfbDisplay::Stop() {
    if (server > 0) {
        ::kill(server, SIGTERM);
        if (!WaitForExit(server, kStopTimeout)) {
            ::kill(server, SIGKILL);
            ::waitpid(server, nullptr, 0);
        }
        server = -1;
    }
    if (name.empty()) return;
    name.clear();
    if (previousDisplay) ::setenv("DISPLAY", previousDisplay->c_str(), 1);
    else ::unsetenv("DISPLAY");
}

XvfbDisplay& SharedXvfbDisplay() {
    auto& display = SharedSlot();
    if (!display) display = std::make_unique<XvfbDisplay>();
    return *display;
}
