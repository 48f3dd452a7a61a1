#include "platform/LowLevelFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cwctype>
#include <vector>

#include "platform/ErrorCodes.h"
#include "platform/Text.h"

namespace platform {
namespace {

int PosixFlags(int flags) {
    int posix = O_CLOEXEC;
    switch (flags & (kOpenWriteOnly | kOpenReadWrite)) {
        case kOpenWriteOnly: posix |= O_WRONLY; break;
        case kOpenReadWrite: posix |= O_RDWR; break;
        default: posix |= O_RDONLY; break;
    }
    if (flags & kOpenAppend) posix |= O_APPEND;
    if (flags & kOpenCreate) posix |= O_CREAT;
    if (flags & kOpenTruncate) posix |= O_TRUNC;
    if (flags & kOpenExclusive) posix |= O_EXCL;
    return posix;
}

mode_t PosixPermission(int permission) {
    return (permission & kPermissionWrite) ? 0666 : 0444;
}

void AdviseAccess(int handle, int flags) {
    if (flags & kOpenSequential) ::posix_fadvise(handle, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (flags & kOpenRandom) ::posix_fadvise(handle, 0, 0, POSIX_FADV_RANDOM);
}

int OpenExisting(const std::string& path, int flags, int permission) {
    const int handle = ::open(path.c_str(), PosixFlags(flags), PosixPermission(permission));
    if (handle < 0) return -1;
    struct stat st;
    if (::fstat(handle, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(handle);
        errno = EISDIR;
        return -1;
    }
    return handle;
}

// Windows compares names with its own upper-case table; the C.UTF-8 locale's is the closest.
std::wstring FoldCase(const std::string& name) {
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    std::wstring folded = ToWide(name);
    for (wchar_t& c : folded) {
        c = utf8 != static_cast<locale_t>(0) ? static_cast<wchar_t>(::towupper_l(c, utf8))
                                              : static_cast<wchar_t>(std::towupper(c));
    }
    return folded;
}

}  // namespace

int OpenLowLevel(const std::string& path, int flags, int permission) {
    int handle = OpenExisting(path, flags, permission);
    if (handle < 0 && errno == ENOENT && !(flags & kOpenCreate)) {
        const std::string found = FindNameIgnoringCase(path);
        if (found != path) handle = OpenExisting(found, flags, permission);
        if (handle < 0) errno = ENOENT;
    }
    if (handle < 0) {
        SetLastErrorFromErrno(errno, ErrorDomain::kFile);
        return -1;
    }
    AdviseAccess(handle, flags);
    return handle;
}

int64_t ReadLowLevel(int handle, void* buffer, uint32_t count) {
    const size_t limited = std::min<size_t>(count, INT_MAX);
    for (;;) {
        const ssize_t got = ::read(handle, buffer, limited);
        if (got >= 0) return got;
        if (errno != EINTR) break;
    }
    SetLastErrorFromErrno(errno, ErrorDomain::kFile);
    return -1;
}

int32_t SeekLowLevel(int handle, int32_t distance, int origin) {
    static constexpr int kOrigins[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) {
        SetLastErrorFromErrno(EINVAL, ErrorDomain::kFile);
        return -1;
    }
    const off_t position = ::lseek(handle, distance, kOrigins[origin]);
    if (position < 0) {
        SetLastErrorFromErrno(errno, ErrorDomain::kFile);
        return -1;
    }
    if (position > INT32_MAX) {
        SetLastErrorFromErrno(EOVERFLOW, ErrorDomain::kFile);
        return -1;
    }
    return static_cast<int32_t>(position);
}

int CloseLowLevel(int handle) {
    if (::close(handle) == 0) return 0;
    SetLastErrorFromErrno(errno, ErrorDomain::kFile);
    return -1;
}

std::string FindNameIgnoringCase(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string prefix = slash == std::string::npos ? "" : folder;
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) return path;
    // Several names may match; the first in byte order is taken, so the choice is repeatable.
    const std::wstring wanted = FoldCase(name);
    std::vector<std::string> matches;
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name == name) {
            matches.assign(1, name);
            break;
        }
        if (FoldCase(entry->d_name) == wanted) matches.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    if (matches.empty()) return path;
    return prefix + *std::min_element(matches.begin(), matches.end());
}

}  // namespace platform
