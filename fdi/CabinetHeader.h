// A cabinet's header and file table, read through the caller's callbacks.
//
// libmspack reads the same tables, but it hides what FDI must report: whether a file continues
// from the previous or into the next cabinet, and the names of neighbouring cabinets. The rules
// follow libmspack's, so both readers accept the same cabinets: the file entries are read right
// after the folder entries (the header's coffFiles is not followed), names are 1 to 255 bytes
// with their terminator inside the next 256 bytes, disk names may be empty.
#pragma once

#include <cstdint>

#include "fdi/FdiContext.h"

namespace fdi {

// Raw folder indexes of a file that lies in a folder shared with a neighbouring cabinet.
inline constexpr uint16_t kContinuedFromPrevious = 0xFFFD;
inline constexpr uint16_t kContinuedToNext = 0xFFFE;
inline constexpr uint16_t kContinuedBothWays = 0xFFFF;

inline bool ContinuesFromPrevious(uint16_t folderIndex) {
    return folderIndex == kContinuedFromPrevious || folderIndex == kContinuedBothWays;
}
inline bool ContinuesToNext(uint16_t folderIndex) {
    return folderIndex == kContinuedToNext || folderIndex == kContinuedBothWays;
}

struct CabinetFile {
    char* name;
    uint32_t size;
    uint32_t folderOffset;
    uint16_t folderIndex;
    uint16_t date;
    uint16_t time;
    uint16_t attribs;
};

struct CabinetHeader {
    int32_t cabinetSize;
    uint16_t folderCount;
    uint16_t fileCount;
    uint16_t setID;
    uint16_t cabinetIndex;
    uint16_t flags;
    uint8_t folderReserve;
    char* previousName;  // null when the header names none
    char* previousDisk;
    char* nextName;
    char* nextDisk;
    CabinetFile* files;  // fileCount entries once ReadCabinetFiles succeeded
};

inline constexpr uint16_t kHeaderHasPrevious = 0x0001;
inline constexpr uint16_t kHeaderHasNext = 0x0002;
inline constexpr uint16_t kHeaderHasReserve = 0x0004;

// Reads the fixed header, the reserved-space sizes and the neighbours' names from hf's current
// position. 0, or the FDI error: 2 no cabinet, 3 a version above 1.3, 4 cut short, 5 no memory.
// On failure nothing stays allocated.
int ReadCabinetHeader(FdiContext& context, intptr_t hf, CabinetHeader& header);

// Reads the folder and file tables that follow the header. 0, 4 or 5.
int ReadCabinetFiles(FdiContext& context, intptr_t hf, CabinetHeader& header);

// Frees what the readers allocated; may run twice.
void FreeCabinetHeader(FdiContext& context, CabinetHeader& header);

// The file of this cabinet that continues `name` from an earlier cabinet, or null.
const CabinetFile* FindContinuation(const CabinetHeader& header, const char* name);

}  // namespace fdi
