#include "cabinet/ExtractionCallbacks.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cabinet/CabinetExtractor.h"
#include "cabinet/PathBuffer.h"
#include "platform/FileStamps.h"
#include "platform/Files.h"
#include "platform/LowLevelFiles.h"

namespace {

constexpr unsigned int kFailedCount = UINT_MAX;  // -1 as the FDI shapes return it
constexpr intptr_t kAbort = -1;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A stored name stays below the destination folder: it is not absolute and no part of it
// climbs out with "..". Both separators count, as both do on Windows.
bool StaysInsideDestination(const char* storedName) {
    if (IsSeparator(storedName[0])) return false;
    const char* part = storedName;
    for (const char* p = storedName;; ++p) {
        if (*p == '\0' || IsSeparator(*p)) {
            if (p - part == 2 && part[0] == '.' && part[1] == '.') return false;
            if (*p == '\0') return true;
            part = p + 1;
        }
    }
}

// Creates every folder named by the path up to its last separator, from the outermost in.
// Existing folders and folders that cannot be made are passed over.
void CreateFoldersAlong(const PathBuffer& path) {
    const std::string text = path.Text();
    for (size_t slash = text.find('/'); slash != std::string::npos; slash = text.find('/', slash + 1)) {
        platform::CreateFolder(text.substr(0, slash));
    }
}

// The output path of a stored name: its folders below destination, created, and the file
// opened. A handle above 0, or -1 when the name is refused or the file cannot be created.
intptr_t OpenOutputFile(const char* destination, const char* storedName) {
    if (!StaysInsideDestination(storedName)) return -1;
    const char* lastBackslash = std::strrchr(storedName, '\\');
    const char* fileName = lastBackslash != nullptr ? lastBackslash + 1 : storedName;
    PathBuffer path;
    if (!path.Append(destination)) return -1;
    if (!path.AppendStoredName(storedName, static_cast<size_t>(fileName - storedName))) return -1;
    CreateFoldersAlong(path);
    if (!path.Append(fileName)) return -1;
    const intptr_t handle =
        ExtractionOpen(const_cast<char*>(path.Text()), kOutputOpenFlags, kOutputPermission);
    return handle > 0 ? handle : -1;
}

// Times before attributes, so that a file that becomes read-only still gets its times.
void ApplyStoredStamps(const char* destination, const FDINOTIFICATION& file) {
    PathBuffer path;
    if (!path.Append(destination) || !path.AppendStoredName(file.psz1, std::strlen(file.psz1))) {
        return;
    }
    platform::SetFileTimeFromDos(path.Text(), file.date, file.time);
    platform::SetFileAttributesAt(path.Text(), file.attribs & kKeptAttributes);
}

}  // namespace

void* ExtractionAllocate(uint32_t size) { return std::malloc(size); }

void ExtractionFree(void* block) { std::free(block); }

intptr_t ExtractionOpen(char* path, int flags, int permission) {
    if (flags & platform::kOpenCreate) platform::SetFileAttributesAt(path, platform::kAttributeNormal);
    return platform::OpenLowLevel(path, flags, permission);
}

unsigned int ExtractionRead(intptr_t handle, void* buffer, unsigned int count) {
    const int64_t got = platform::ReadLowLevel(static_cast<int>(handle), buffer, count);
    return got < 0 ? kFailedCount : static_cast<unsigned int>(got);
}

unsigned int ExtractionWrite(intptr_t handle, void* buffer, unsigned int count) {
    const int64_t put = platform::WriteFully(static_cast<int>(handle), buffer, count);
    return put < 0 ? kFailedCount : static_cast<unsigned int>(put);
}

int ExtractionClose(intptr_t handle) { return platform::CloseLowLevel(static_cast<int>(handle)); }

int32_t ExtractionSeek(intptr_t handle, int32_t distance, int origin) {
    return platform::SeekLowLevel(static_cast<int>(handle), distance, origin);
}

intptr_t ExtractionNotify(int type, FDINOTIFICATION* notification) {
    auto& extractor = *static_cast<CCabinetExtractor*>(notification->pv);
    switch (type) {
        case fdintCOPY_FILE: {
            const intptr_t handle = OpenOutputFile(extractor.destinationFolder, notification->psz1);
            if (handle == -1) extractor.errorCode = kTargetFileError;
            return handle;
        }
        case fdintCLOSE_FILE_INFO:
            ExtractionClose(notification->hf);
            ApplyStoredStamps(extractor.destinationFolder, *notification);
            return 1;
        case fdintNEXT_CABINET: {
            if (notification->fdie != FDIERROR_NONE) {
                extractor.errorCode = notification->fdie;
                return kAbort;
            }
            const size_t length = std::strlen(notification->psz1);
            if (length >= sizeof(extractor.nextCabinetName)) {
                extractor.errorCode = kTargetFileError;
                return kAbort;
            }
            std::memcpy(extractor.nextCabinetName, notification->psz1, length + 1);
            return 0;
        }
        default:
            return 0;
    }
}
