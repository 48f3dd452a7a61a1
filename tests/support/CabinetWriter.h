// A small cabinet writer for the tests: stored or MSZIP data, one or several cabinets.
//
// Files go into folders in the order given. A set is split the way makecab splits it: when a
// cabinet's data reaches its capacity, the data block being written is split across the two
// cabinets, the folder continues in the next one, and it ends with the file being written
// then; the files after it start a new folder. Files whose data lies in more than one
// cabinet are listed in each, marked as continued from the previous and/or into the next.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StoredFile {
    std::string name;  // as stored: folders separated by backslashes
    std::string data;
    uint16_t date = 0x2A43;  // 2001-02-03
    uint16_t time = 0x20A3;  // 04:05:06
    uint16_t attribs = 0x20;
};

enum class CabinetCompression { kStored, kMszip };

struct CabinetOptions {
    CabinetCompression compression = CabinetCompression::kMszip;
    // Bytes of block data one cabinet holds before the set continues in the next; 0: one cabinet.
    size_t cabinetCapacity = 0;
    // The names the headers give the cabinets of a set; "partN.cab" where none is given.
    std::vector<std::string> cabinetNames;
    uint16_t setID = 4321;
    bool checksums = true;
    uint8_t versionMajor = 1;
    uint8_t versionMinor = 3;
    uint16_t compressionTypeOverride = 0xFFFF;  // written instead of the real type unless 0xFFFF
};

// The bytes of every cabinet of the set, in order.
std::vector<std::string> WriteCabinetSet(const std::vector<StoredFile>& files,
                                         const CabinetOptions& options = {});

// The bytes of a single cabinet.
std::string WriteCabinet(const std::vector<StoredFile>& files, const CabinetOptions& options = {});

// Writes bytes to path; false when it cannot.
bool SaveFile(const std::string& path, const std::string& bytes);
// The bytes of a file; empty when it cannot be read.
std::string LoadFile(const std::string& path);

// Offsets into a single cabinet without reserve or neighbour names, for tests that damage one.
inline constexpr size_t kCabinetHeaderSize = 36;
inline constexpr size_t kFolderEntrySize = 8;
inline constexpr size_t kFileEntrySize = 16;
