// What the hardening tests watch: the process's resident memory and the state of a folder tree.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

inline int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * 4096;
}

// Every path below root with its permissions and size, leaving out the folder `skip` and what
// it holds: compared before and after, it shows whether anything beside `skip` changed.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& root,
                                                   const std::filesystem::path& skip) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        const fs::file_status status = it->symlink_status();
        entries[it->path().string()] = std::to_string(static_cast<int>(status.permissions())) + " " +
                                       (fs::is_regular_file(status) ? std::to_string(it->file_size()) : "-");
    }
    return entries;
}
