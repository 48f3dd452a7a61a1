// A program run by a test as a child process, and the output of a shell command.
//
// ChildProcess starts the program at once (execvp: a name without "/" is looked up on PATH),
// with the test's environment; the destructor kills it if it still runs, so a failing test
// leaves nothing behind.
//
//     ChildProcess program({"/path/to/tarnwick"});
//     EXPECT_EQ(program.WaitForExit(std::chrono::seconds(60)), 0);
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& command) {
        std::vector<char*> argv;
        for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        pid = ::fork();
        if (pid == 0) {
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~ChildProcess() {
        if (pid > 0 && !exited) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid; }

    // The exit status once the program has ended (128 + the signal if one ended it), or -1
    // when it still runs after limit.
    int WaitForExit(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (pid > 0 && !exited) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (std::chrono::steady_clock::now() >= deadline) {
                break;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        return exited ? exitStatus : -1;
    }
    bool Running() { return pid > 0 && WaitForExit(std::chrono::milliseconds(0)) == -1; }

private:
    pid_t pid = -1;
    bool exited = false;
    int exitStatus = -1;
};

// What a shell command writes to its standard output (its standard error is left alone).
inline std::string CommandOutput(const std::string& command) {
    std::string output;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return output;
    std::array<char, 4096> buffer;
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0;) {
        output.append(buffer.data(), n);
    }
    return output;
}
