#include "platform/ErrorCodes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

using platform::ErrorDomain;
using platform::WindowsErrorFromErrno;

struct ErrnoCase {
    const char* name;  // EAGAIN and EWOULDBLOCK are one number on Linux
    int err;
    ErrorDomain domain;
    int32_t expected;
};

void PrintTo(const ErrnoCase& c, std::ostream* os) {
    *os << c.name << (c.domain == ErrorDomain::kSocket ? " socket" : " file");
}

class ErrnoTable : public testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoTable, MapsToWindowsNumber) {
    EXPECT_EQ(WindowsErrorFromErrno(GetParam().err, GetParam().domain), GetParam().expected)
        << "errno " << GetParam().err;
}

INSTANTIATE_TEST_SUITE_P(
    ErrorCodes, ErrnoTable,
    testing::Values(ErrnoCase{"EWOULDBLOCK", EWOULDBLOCK, ErrorDomain::kSocket, 10035},
                    ErrnoCase{"EAGAIN", EAGAIN, ErrorDomain::kSocket, 10035},
                    ErrnoCase{"EINPROGRESS", EINPROGRESS, ErrorDomain::kSocket, 10035},
                    ErrnoCase{"ECONNREFUSED", ECONNREFUSED, ErrorDomain::kSocket, 10061},
                    ErrnoCase{"ETIMEDOUT", ETIMEDOUT, ErrorDomain::kSocket, 10060},
                    ErrnoCase{"ENETUNREACH", ENETUNREACH, ErrorDomain::kSocket, 10051},
                    ErrnoCase{"EHOSTUNREACH", EHOSTUNREACH, ErrorDomain::kSocket, 10065},
                    ErrnoCase{"ECONNRESET", ECONNRESET, ErrorDomain::kSocket, 10054},
                    ErrnoCase{"ECONNABORTED", ECONNABORTED, ErrorDomain::kSocket, 10053},
                    ErrnoCase{"ENOTCONN", ENOTCONN, ErrorDomain::kSocket, 10057},
                    ErrnoCase{"EADDRNOTAVAIL", EADDRNOTAVAIL, ErrorDomain::kSocket, 10049},
                    ErrnoCase{"EAFNOSUPPORT", EAFNOSUPPORT, ErrorDomain::kSocket, 10047},
                    ErrnoCase{"EACCES", EACCES, ErrorDomain::kSocket, 10013},
                    ErrnoCase{"EINVAL", EINVAL, ErrorDomain::kSocket, 10022},
                    ErrnoCase{"EMFILE", EMFILE, ErrorDomain::kSocket, 10024},
                    ErrnoCase{"ENOBUFS", ENOBUFS, ErrorDomain::kSocket, 10055},
                    ErrnoCase{"ENOENT", ENOENT, ErrorDomain::kFile, 2},
                    ErrnoCase{"ENOTDIR", ENOTDIR, ErrorDomain::kFile, 3},
                    ErrnoCase{"EACCES", EACCES, ErrorDomain::kFile, 5},
                    ErrnoCase{"EPERM", EPERM, ErrorDomain::kFile, 5},
                    ErrnoCase{"EROFS", EROFS, ErrorDomain::kFile, 5},
                    ErrnoCase{"EEXIST", EEXIST, ErrorDomain::kFile, 183},
                    ErrnoCase{"ENOEXEC", ENOEXEC, ErrorDomain::kFile, 193},
                    ErrnoCase{"ENOSPC", ENOSPC, ErrorDomain::kFile, 112},
                    ErrnoCase{"ENAMETOOLONG", ENAMETOOLONG, ErrorDomain::kFile, 206},
                    ErrnoCase{"EMFILE", EMFILE, ErrorDomain::kFile, 4},
                    ErrnoCase{"EIO", EIO, ErrorDomain::kFile, 31},
                    ErrnoCase{"EXDEV", EXDEV, ErrorDomain::kFile, 1}));

TEST(ErrorCodes, LastErrorBelongsToTheCallingThread) {
    platform::SetLastErrorCode(5);
    int32_t seenElsewhere = -1;
    std::thread([&] {
        platform::SetLastErrorCode(10061);
        seenElsewhere = platform::GetLastErrorCode();
    }).join();
    EXPECT_EQ(seenElsewhere, 10061);
    EXPECT_EQ(platform::GetLastErrorCode(), 5);
}
