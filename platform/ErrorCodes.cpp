#include "platform/ErrorCodes.h"

#include <cerrno>

namespace platform {
namespace {
thread_local int32_t lastError = 0;
}

int32_t WindowsErrorFromErrno(int errnoValue, ErrorDomain domain) {
    const bool socket = domain == ErrorDomain::kSocket;
    switch (errnoValue) {
        case 0: return 0;
        case EWOULDBLOCK:
#if EAGAIN != EWOULDBLOCK
        case EAGAIN:
#endif
        case EINPROGRESS: return 10035;
        case EMSGSIZE: return 10040;
        case ECONNREFUSED: return 10061;
        case ETIMEDOUT: return 10060;
        case ENETUNREACH: return 10051;
        case EHOSTUNREACH: return 10065;
        case ECONNRESET: return 10054;
        case EPIPE: return socket ? 10054 : 109;  // a write to a closed peer; 109: broken pipe
        case ECONNABORTED: return 10053;
        case ENOTCONN: return 10057;
        case EADDRNOTAVAIL: return 10049;
        case EAFNOSUPPORT: return 10047;
        case ENOBUFS: return 10055;
        case EBADF: return socket ? 10038 : 6;  // not a socket / invalid handle
        case ENOTSOCK: return 10038;
        case EACCES: return socket ? 10013 : 5;
        case EINVAL: return socket ? 10022 : 87;  // invalid parameter
        case EMFILE: return socket ? 10024 : 4;
        case ENOENT: return 2;
        case ENOTDIR: return 3;
        case EPERM:
        case EROFS: return 5;
        case EISDIR: return 5;  // Windows denies access to a folder opened as a file
        case EEXIST: return 183;
        case ENOSPC:
        case EDQUOT: return 112;
        case EFBIG: return 223;  // the file is too large for the file system
        case ENAMETOOLONG: return 206;
        case ENOMEM: return 8;
        case ENOEXEC: return 193;  // not a program this system can run
        case EIO:
        case ENXIO:
        case ENODEV: return 31;
        default: return 1;
    }
}

int32_t GetLastErrorCode() { return lastError; }

void SetLastErrorCode(int32_t code) { lastError = code; }

int32_t SetLastErrorFromErrno(int errnoValue, ErrorDomain domain) {
    lastError = WindowsErrorFromErrno(errnoValue, domain);
    return lastError;
}

}  // namespace platform
