#include "fdi/CabinetHeader.h"

#include <strings.h>

#include <cstring>

namespace fdi {
namespace {

constexpr unsigned int kFixedHeaderSize = 36;
constexpr unsigned int kReserveSizesSize = 4;
constexpr unsigned int kFolderEntrySize = 8;
constexpr unsigned int kFileEntrySize = 16;
constexpr unsigned int kNameWindow = 256;  // a stored name and its terminator
constexpr int kSeekSet = 0;
constexpr int kSeekCurrent = 1;

uint16_t Word(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Dword(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadExactly(FdiContext& context, intptr_t hf, void* buffer, unsigned int count) {
    return context.read(hf, buffer, count) == count;
}

bool Skip(FdiContext& context, intptr_t hf, int32_t count) {
    return count == 0 || context.seek(hf, count, kSeekCurrent) != -1;
}

// Reads a NUL-terminated text of at most 255 bytes and leaves hf just after its terminator.
int ReadText(FdiContext& context, intptr_t hf, bool mayBeEmpty, char** text) {
    const int32_t start = context.seek(hf, 0, kSeekCurrent);
    if (start == -1) return FDIERROR_CORRUPT_CABINET;
    char window[kNameWindow];
    const unsigned int got = context.read(hf, window, kNameWindow);
    if (got == 0 || got > kNameWindow) return FDIERROR_CORRUPT_CABINET;
    const void* end = std::memchr(window, '\0', got);
    if (end == nullptr) return FDIERROR_CORRUPT_CABINET;
    const size_t length = static_cast<size_t>(static_cast<const char*>(end) - window);
    if (length == 0 && !mayBeEmpty) return FDIERROR_CORRUPT_CABINET;
    if (context.seek(hf, start + static_cast<int32_t>(length) + 1, kSeekSet) == -1) {
        return FDIERROR_CORRUPT_CABINET;
    }
    *text = CopyText(context, window);
    return *text != nullptr ? 0 : FDIERROR_ALLOC_FAIL;
}

int ReadNeighbour(FdiContext& context, intptr_t hf, char** name, char** disk) {
    const int error = ReadText(context, hf, false, name);
    return error != 0 ? error : ReadText(context, hf, true, disk);
}

int ReadHeaderFields(FdiContext& context, intptr_t hf, CabinetHeader& header) {
    unsigned char fixed[kFixedHeaderSize];
    if (!ReadExactly(context, hf, fixed, kFixedHeaderSize)) return FDIERROR_NOT_A_CABINET;
    if (std::memcmp(fixed, "MSCF", 4) != 0) return FDIERROR_NOT_A_CABINET;
    const unsigned minor = fixed[24], major = fixed[25];
    if (major > 1 || (major == 1 && minor > 3)) return FDIERROR_UNKNOWN_CABINET_VERSION;

    header.cabinetSize = static_cast<int32_t>(Dword(fixed + 8));
    header.folderCount = Word(fixed + 26);
    header.fileCount = Word(fixed + 28);
    header.flags = Word(fixed + 30);
    header.setID = Word(fixed + 32);
    header.cabinetIndex = Word(fixed + 34);

    if (header.flags & kHeaderHasReserve) {
        unsigned char sizes[kReserveSizesSize];
        if (!ReadExactly(context, hf, sizes, kReserveSizesSize)) return FDIERROR_CORRUPT_CABINET;
        header.folderReserve = sizes[2];
        if (!Skip(context, hf, Word(sizes))) return FDIERROR_CORRUPT_CABINET;
    }
    if (header.flags & kHeaderHasPrevious) {
        const int error = ReadNeighbour(context, hf, &header.previousName, &header.previousDisk);
        if (error != 0) return error;
    }
    if (header.flags & kHeaderHasNext) {
        const int error = ReadNeighbour(context, hf, &header.nextName, &header.nextDisk);
        if (error != 0) return error;
    }
    return 0;
}

}  // namespace

int ReadCabinetHeader(FdiContext& context, intptr_t hf, CabinetHeader& header) {
    header = CabinetHeader{};
    const int error = ReadHeaderFields(context, hf, header);
    if (error != 0) FreeCabinetHeader(context, header);
    return error;
}

int ReadCabinetFiles(FdiContext& context, intptr_t hf, CabinetHeader& header) {
    if (header.fileCount == 0) return 0;
    if (header.folderCount == 0) return FDIERROR_CORRUPT_CABINET;
    const int32_t folderTable =
        static_cast<int32_t>(header.folderCount) * (kFolderEntrySize + header.folderReserve);
    if (!Skip(context, hf, folderTable)) return FDIERROR_CORRUPT_CABINET;

    header.files = static_cast<CabinetFile*>(
        Allocate(context, sizeof(CabinetFile) * header.fileCount));
    if (header.files == nullptr) return FDIERROR_ALLOC_FAIL;
    std::memset(header.files, 0, sizeof(CabinetFile) * header.fileCount);

    for (unsigned i = 0; i < header.fileCount; ++i) {
        unsigned char entry[kFileEntrySize];
        if (!ReadExactly(context, hf, entry, kFileEntrySize)) return FDIERROR_CORRUPT_CABINET;
        CabinetFile& file = header.files[i];
        file.size = Dword(entry);
        file.folderOffset = Dword(entry + 4);
        file.folderIndex = Word(entry + 8);
        file.date = Word(entry + 10);
        file.time = Word(entry + 12);
        file.attribs = Word(entry + 14);
        if (file.folderIndex < kContinuedFromPrevious && file.folderIndex >= header.folderCount) {
            return FDIERROR_CORRUPT_CABINET;
        }
        const int error = ReadText(context, hf, false, &file.name);
        if (error != 0) return error;
    }
    return 0;
}

void FreeCabinetHeader(FdiContext& context, CabinetHeader& header) {
    if (header.files != nullptr) {
        for (unsigned i = 0; i < header.fileCount; ++i) Release(context, header.files[i].name);
        Release(context, header.files);
    }
    Release(context, header.previousName);
    Release(context, header.previousDisk);
    Release(context, header.nextName);
    Release(context, header.nextDisk);
    header = CabinetHeader{};
}

const CabinetFile* FindContinuation(const CabinetHeader& header, const char* name) {
    for (unsigned i = 0; i < header.fileCount; ++i) {
        const CabinetFile& file = header.files[i];
        if (ContinuesFromPrevious(file.folderIndex) && ::strcasecmp(file.name, name) == 0) {
            return &file;
        }
    }
    return nullptr;
}

}  // namespace fdi
