// Windows error numbers, and the calling thread's last error.
//
// The program reports the Windows numbers its users and peers know (10061 for a refused
// connection, 3 for a missing folder ...). Every platform call that fails stores the
// translated number as the thread's last error, the way GetLastError / WSAGetLastError work,
// and the callers read it from there.
#pragma once

#include <cstdint>

namespace platform {

// Values the program names itself.
inline constexpr int32_t kErrorFileNotFound = 2;
inline constexpr int32_t kErrorPathNotFound = 3;
inline constexpr int32_t kErrorInvalidHandle = 6;
inline constexpr int32_t kErrorNotEnoughMemory = 8;
inline constexpr int32_t kErrorInvalidData = 13;
inline constexpr int32_t kErrorInvalidThreadId = 1444;
inline constexpr int32_t kErrorTimeout = 1460;
inline constexpr int32_t kWsaEWouldBlock = 10035;
inline constexpr int32_t kWsaEMsgSize = 10040;
inline constexpr int32_t kWsaETimedOut = 10060;

// Socket calls and file calls give some errno values different meanings (EACCES, EINVAL, EMFILE).
enum class ErrorDomain { kFile, kSocket };

// The one errno-to-Windows table. ENOENT becomes 2 here; callers that can tell a missing
// folder from a missing file use FileErrorForPath.
int32_t WindowsErrorFromErrno(int errnoValue, ErrorDomain domain);

int32_t GetLastErrorCode();
void SetLastErrorCode(int32_t code);

// Stores WindowsErrorFromErrno(errnoValue, domain) as the last error and returns it.
int32_t SetLastErrorFromErrno(int errnoValue, ErrorDomain domain);

}  // namespace platform
