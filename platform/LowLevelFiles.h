// The C run-time's low-level file access on integer handles (_open, _read, _lseek, _close),
// with the Windows flag and permission values translated to their POSIX meaning.
//
// Every call that fails stores the Windows error number as the thread's last error.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Windows C run-time values.
inline constexpr int kOpenReadOnly = 0x0000;
inline constexpr int kOpenWriteOnly = 0x0001;
inline constexpr int kOpenReadWrite = 0x0002;
inline constexpr int kOpenAppend = 0x0008;
inline constexpr int kOpenRandom = 0x0010;
inline constexpr int kOpenSequential = 0x0020;
inline constexpr int kOpenCreate = 0x0100;
inline constexpr int kOpenTruncate = 0x0200;
inline constexpr int kOpenExclusive = 0x0400;
inline constexpr int kOpenBinary = 0x8000;
inline constexpr int kPermissionWrite = 0x0080;
inline constexpr int kPermissionRead = 0x0100;

// Opens path; a created file is read-only unless permission has the write bit. Text mode
// does not exist here: every file is binary. When no file has the exact name and the open
// does not create one, a name in the same folder that differs only in letter case is
// opened instead, as Windows finds it. Folders are refused, as on Windows. The handle, or -1.
int OpenLowLevel(const std::string& path, int flags, int permission);

// The number of bytes read (0 at the end), or -1.
int64_t ReadLowLevel(int handle, void* buffer, uint32_t count);

// Moves to distance from origin (0 start, 1 current, 2 end). The new position, or -1 also
// when it does not fit 32 bits.
int32_t SeekLowLevel(int handle, int32_t distance, int origin);

// 0, or -1.
int CloseLowLevel(int handle);

// The path whose last part is the name in its folder that equals path's last part ignoring
// letter case, the exact name first; path itself when there is none.
std::string FindNameIgnoringCase(const std::string& path);

}  // namespace platform
