#include "platform/Launcher.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

#include "platform/ErrorCodes.h"

extern char** environ;

namespace platform {
namespace {

bool IsArgumentSeparator(char c) { return c == ' ' || c == '\t'; }

bool AddOwnerExecuteBit(const std::string& file) {
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) {
        SetLastErrorFromErrno(errno, ErrorDomain::kFile);
        return false;
    }
    if ((st.st_mode & S_IXUSR) != 0) return true;
    if (::chmod(file.c_str(), (st.st_mode & 07777) | S_IXUSR) != 0) {
        SetLastErrorFromErrno(errno, ErrorDomain::kFile);
        return false;
    }
    return true;
}

// The child starts from a clean slate: default signal dispositions (the downloader ignores
// SIGPIPE), nothing blocked, and only the standard descriptors.
struct SpawnSettings {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t fileActions;

    SpawnSettings() {
        posix_spawnattr_init(&attributes);
        sigset_t all;
        sigset_t none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        posix_spawn_file_actions_init(&fileActions);
        posix_spawn_file_actions_addclosefrom_np(&fileActions, 3);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&fileActions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
};

// Waits for the child on a thread of its own, so it leaves no zombie behind and nobody has to
// change how the whole process treats SIGCHLD.
void ReapWhenEnded(pid_t child) {
    std::thread([child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view parameters) {
    std::vector<std::string> arguments;
    size_t i = 0;
    const size_t n = parameters.size();
    while (true) {
        while (i < n && IsArgumentSeparator(parameters[i])) ++i;
        if (i == n) break;
        std::string argument;
        bool quoted = false;
        while (i < n) {
            size_t backslashes = 0;
            while (i < n && parameters[i] == '\\') {
                ++backslashes;
                ++i;
            }
            bool copyCharacter = true;
            if (i < n && parameters[i] == '"') {
                if (backslashes % 2 == 0) {
                    if (quoted && i + 1 < n && parameters[i + 1] == '"') {
                        ++i;  // "" inside a quoted part: a literal quote, still quoted
                    } else {
                        copyCharacter = false;
                        quoted = !quoted;
                    }
                }
                backslashes /= 2;
            }
            argument.append(backslashes, '\\');
            if (i == n || (!quoted && IsArgumentSeparator(parameters[i]))) break;
            if (copyCharacter) argument += parameters[i];
            ++i;
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

bool StartProgram(const std::string& file, std::string_view parameters) {
    if (!AddOwnerExecuteBit(file)) return false;

    std::vector<std::string> arguments = SplitCommandLine(parameters);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(file.c_str()));
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    SpawnSettings settings;
    pid_t child = -1;
    const int result = ::posix_spawn(&child, file.c_str(), &settings.fileActions,
                                     &settings.attributes, argv.data(), environ);
    if (result != 0) {
        SetLastErrorFromErrno(result, ErrorDomain::kFile);
        return false;
    }
    ReapWhenEnded(child);
    return true;
}

}  // namespace platform
