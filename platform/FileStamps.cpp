#include "platform/FileStamps.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <mutex>

#include "platform/ErrorCodes.h"

namespace platform {
namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The local broken-down time of an MS-DOS date and time; false when it names no moment.
bool DosToLocalTime(uint16_t dosDate, uint16_t dosTime, std::tm& local) {
    const int year = 1980 + (dosDate >> 9);
    const int month = (dosDate >> 5) & 0x0F;
    const int day = dosDate & 0x1F;
    const int hour = dosTime >> 11;
    const int minute = (dosTime >> 5) & 0x3F;
    const int second = (dosTime & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return false;
    }
    local = std::tm{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;  // the zone's rules for that day decide
    return true;
}

// mktime reloads the zone rules when TZ changed; glibc locks that with a lock the thread
// checker cannot see, so concurrent calls are serialised here where it can.
std::time_t LocalToUtc(std::tm& local) {
    static std::mutex zoneLock;
    std::lock_guard<std::mutex> guard(zoneLock);
    return std::mktime(&local);
}

}  // namespace

bool SetFileAttributesAt(const std::string& path, uint32_t attributes) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        SetLastErrorFromErrno(errno, ErrorDomain::kFile);
        return false;
    }
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttributeReadOnly) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else {
        mode |= S_IWUSR;
    }
    if (::chmod(path.c_str(), mode) == 0) return true;
    SetLastErrorFromErrno(errno, ErrorDomain::kFile);
    return false;
}

bool SetFileTimeFromDos(const std::string& path, uint16_t dosDate, uint16_t dosTime) {
    std::tm local;
    if (!DosToLocalTime(dosDate, dosTime, local)) {
        SetLastErrorFromErrno(EINVAL, ErrorDomain::kFile);
        return false;
    }
    const std::time_t moment = LocalToUtc(local);
    if (moment == static_cast<std::time_t>(-1)) {
        SetLastErrorFromErrno(EINVAL, ErrorDomain::kFile);
        return false;
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, {moment, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0) return true;
    SetLastErrorFromErrno(errno, ErrorDomain::kFile);
    return false;
}

}  // namespace platform
