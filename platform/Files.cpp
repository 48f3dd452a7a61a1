#include "platform/Files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/ErrorCodes.h"
#include "platform/Text.h"

namespace platform {
namespace {

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// ENOENT means "file not found" only when the folder that should hold it exists.
int32_t SetFileErrorForPath(int err, const std::string& path) {
    if (err == ENOENT && !IsFolder(ParentOf(path))) {
        SetLastErrorCode(kErrorPathNotFound);
        return kErrorPathNotFound;
    }
    return SetLastErrorFromErrno(err, ErrorDomain::kFile);
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return "/";
}

// Reads XDG_DOCUMENTS_DIR from user-dirs.dirs: a line XDG_DOCUMENTS_DIR="$HOME/..." or an
// absolute path in quotes. Empty when the file or the line is missing or malformed.
std::string XdgDocumentsFolder(const std::string& home) {
    std::string configHome;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        configHome = xdg;
    } else {
        configHome = home + "/.config";
    }
    std::ifstream file(configHome + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=\"";
    while (std::getline(file, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        const size_t close = line.find('"', key.size());
        if (close == std::string::npos) return {};
        std::string value = line.substr(key.size(), close - key.size());
        if (value.compare(0, 5, "$HOME") == 0) return home + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
        return {};
    }
    return {};
}

}  // namespace

bool CreateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    SetFileErrorForPath(errno, path);
    return false;
}

bool DeleteFileAt(const std::string& path) {
    if (::unlink(path.c_str()) == 0) return true;
    SetFileErrorForPath(errno, path);
    return false;
}

int OpenFileForWriting(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) SetFileErrorForPath(errno, path);
    return fd;
}

bool SeekToEnd(int fd) {
    if (::lseek(fd, 0, SEEK_END) >= 0) return true;
    SetLastErrorFromErrno(errno, ErrorDomain::kFile);
    return false;
}

int64_t WriteFully(int fd, const void* data, size_t count) {
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno(errno, ErrorDomain::kFile);
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

void CloseFile(int fd) {
    if (fd >= 0) ::close(fd);
}

std::wstring DocumentsFolder() {
    const std::string home = HomeFolder();
    std::string documents = XdgDocumentsFolder(home);
    if (documents.empty()) documents = home + "/Documents";
    ::mkdir(documents.c_str(), 0777);
    return ToWide(documents);
}

}  // namespace platform
