// File attributes and times in their Windows form, applied to Linux files.
//
// Every call that fails stores the Windows error number as the thread's last error.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeNormal = 0x80;

// Read-only (0x01) clears every write permission bit; without it the owner's write bit is
// restored. Hidden, system, archive and the other bits have no Linux meaning.
bool SetFileAttributesAt(const std::string& path, uint32_t attributes);

// Sets the modification time to an MS-DOS date and time read as local time; the access time
// is left alone (Linux keeps no settable creation time). False for a date or time that names
// no moment (month 13, 30 February, 25 o'clock ...), which leaves the file unchanged.
bool SetFileTimeFromDos(const std::string& path, uint16_t dosDate, uint16_t dosTime);

}  // namespace platform
