#include "platform/ErrorCodes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

using platform::ErrorDomain;
using platform::WindowsErrorFromErrno;

struct ErrnoCase {
    int err;
    ErrorDomain domain;
    int32_t expected;
};

void PrintTo(const ErrnoCase& c, std::ostream* os) { *os << "errno " << c.err; }

class ErrnoTable : public testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoTable, MapsToWindowsNumber) {
    EXPECT_EQ(WindowsErrorFromErrno(GetParam().err, GetParam().domain), GetParam().expected)
        << "errno " << GetParam().err;
}

INSTANTIATE_TEST_SUITE_P(
    ErrorCodes, ErrnoTable,
    testing::Values(ErrnoCase{EWOULDBLOCK, ErrorDomain::kSocket, 10035},
                    ErrnoCase{EAGAIN, ErrorDomain::kSocket, 10035},
                    ErrnoCase{EINPROGRESS, ErrorDomain::kSocket, 10035},
                    ErrnoCase{ECONNREFUSED, ErrorDomain::kSocket, 10061},
                    ErrnoCase{ETIMEDOUT, ErrorDomain::kSocket, 10060},
                    ErrnoCase{ENETUNREACH, ErrorDomain::kSocket, 10051},
                    ErrnoCase{EHOSTUNREACH, ErrorDomain::kSocket, 10065},
                    ErrnoCase{ECONNRESET, ErrorDomain::kSocket, 10054},
                    ErrnoCase{ECONNABORTED, ErrorDomain::kSocket, 10053},
                    ErrnoCase{ENOTCONN, ErrorDomain::kSocket, 10057},
                    ErrnoCase{EADDRNOTAVAIL, ErrorDomain::kSocket, 10049},
                    ErrnoCase{EAFNOSUPPORT, ErrorDomain::kSocket, 10047},
                    ErrnoCase{EACCES, ErrorDomain::kSocket, 10013},
                    ErrnoCase{EINVAL, ErrorDomain::kSocket, 10022},
                    ErrnoCase{EMFILE, ErrorDomain::kSocket, 10024},
                    ErrnoCase{ENOBUFS, ErrorDomain::kSocket, 10055},
                    ErrnoCase{ENOENT, ErrorDomain::kFile, 2},
                    ErrnoCase{ENOTDIR, ErrorDomain::kFile, 3},
                    ErrnoCase{EACCES, ErrorDomain::kFile, 5},
                    ErrnoCase{EPERM, ErrorDomain::kFile, 5},
                    ErrnoCase{EROFS, ErrorDomain::kFile, 5},
                    ErrnoCase{EEXIST, ErrorDomain::kFile, 183},
                    ErrnoCase{ENOEXEC, ErrorDomain::kFile, 193},
                    ErrnoCase{ENOSPC, ErrorDomain::kFile, 112},
                    ErrnoCase{ENAMETOOLONG, ErrorDomain::kFile, 206},
                    ErrnoCase{EMFILE, ErrorDomain::kFile, 4},
                    ErrnoCase{EIO, ErrorDomain::kFile, 31},
                    ErrnoCase{EXDEV, ErrorDomain::kFile, 1}));

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
