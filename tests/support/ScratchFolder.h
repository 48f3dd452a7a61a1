// Test helpers: a scratch folder removed at the end of the test, a scoped environment variable,
// and a scope without proxy variables.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-XXXXXX").string();
        root = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~ScratchFolder() {
        std::error_code ignored;
        // Read-only files and folders that tests leave behind must not stop the clean-up.
        for (auto& entry : std::filesystem::recursive_directory_iterator(root, ignored)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
        std::filesystem::remove_all(root, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The root joined with a relative path; Path("") is the root itself.
    std::string Path(const std::string& relative) const {
        return relative.empty() ? root : root + "/" + relative;
    }

private:
    std::string root;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name(name) {
        if (const char* old = std::getenv(name)) previous = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (previous) ::setenv(name.c_str(), previous->c_str(), 1);
        else ::unsetenv(name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name;
    std::optional<std::string> previous;
};

// Clears the proxy variables libcurl reads for http URLs while it lives, so a fetch reaches the
// test's own servers directly, whatever proxy the machine names.
class ScopedNoProxy {
private:
    ScopedEnv httpProxy{"http_proxy", nullptr};
    ScopedEnv httpProxyUpper{"HTTP_PROXY", nullptr};
    ScopedEnv allProxy{"all_proxy", nullptr};
    ScopedEnv allProxyUpper{"ALL_PROXY", nullptr};
};
