// FDICopy and FDIIsCabinet of libcabinet.so on any bytes, through in-memory callbacks: the
// input is the cabinet "fuzz.cab", every other cabinet of a set is missing, and extracted files
// are counted, not kept. After each run every block the library took is given back and every
// handle it opened is closed, whatever the bytes held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "fdi/fdi.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

constexpr char kCabinetName[] = "fuzz.cab";
// A cabinet can announce files of up to 4 GiB; beyond this many bytes a file's writes fail, so
// that a small input cannot make a run take minutes.
constexpr uint64_t kOutputLimit = 64u << 20;

struct OpenFile {
    bool isCabinet;
    uint64_t position;
};

const uint8_t* cabinetData;
size_t cabinetSize;
std::map<intptr_t, OpenFile> openFiles;
intptr_t nextHandle;
uint64_t bytesWritten;
long liveBlocks;

void* Allocate(uint32_t size) {
    void* block = std::malloc(size);
    if (block != nullptr) ++liveBlocks;
    return block;
}

void Free(void* block) {
    if (block != nullptr) --liveBlocks;
    std::free(block);
}

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

intptr_t Open(char* path, int flags, int /*permission*/) {
    const bool forWriting = (flags & (FDI_O_WRONLY | FDI_O_RDWR | FDI_O_CREAT)) != 0;
    if (!forWriting && std::strcmp(BaseName(path), kCabinetName) != 0) return -1;
    const intptr_t handle = nextHandle++;
    openFiles[handle] = OpenFile{!forWriting, 0};
    return handle;
}

unsigned int Read(intptr_t handle, void* buffer, unsigned int count) {
    auto found = openFiles.find(handle);
    Check(found != openFiles.end() && found->second.isCabinet);
    OpenFile& file = found->second;
    if (file.position >= cabinetSize) return 0;
    const size_t available = static_cast<size_t>(cabinetSize - file.position);
    const size_t copied = count < available ? count : available;
    std::memcpy(buffer, cabinetData + file.position, copied);
    file.position += copied;
    return static_cast<unsigned int>(copied);
}

unsigned int Write(intptr_t handle, void* /*buffer*/, unsigned int count) {
    auto found = openFiles.find(handle);
    Check(found != openFiles.end() && !found->second.isCabinet);
    if (bytesWritten + count > kOutputLimit) return UINT32_MAX;
    bytesWritten += count;
    return count;
}

int Close(intptr_t handle) {
    Check(openFiles.erase(handle) == 1);
    return 0;
}

int32_t Seek(intptr_t handle, int32_t distance, int origin) {
    auto found = openFiles.find(handle);
    Check(found != openFiles.end());
    OpenFile& file = found->second;
    const int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<int64_t>(file.position)
                                                        : static_cast<int64_t>(cabinetSize);
    const int64_t target = base + distance;
    if (origin < 0 || origin > 2 || target < 0 || target > INT32_MAX) return -1;
    file.position = static_cast<uint64_t>(target);
    return static_cast<int32_t>(target);
}

intptr_t Notify(int type, FDINOTIFICATION* notification) {
    switch (type) {
        case fdintCOPY_FILE:
            Check(notification->psz1 != nullptr);
            return Open(notification->psz1, FDI_O_WRONLY | FDI_O_CREAT, 0);
        case fdintCLOSE_FILE_INFO:
            Check(notification->psz1 != nullptr);
            Close(notification->hf);
            return 1;
        case fdintNEXT_CABINET:
            // The other cabinets of a set are missing; a second failure to find one ends the run.
            return notification->fdie == FDIERROR_NONE ? 0 : -1;
        default:
            return 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cabinetData = data;
    cabinetSize = size;
    openFiles.clear();
    nextHandle = 1;
    bytesWritten = 0;
    liveBlocks = 0;

    ERF erf{};
    void* context = FDICreate(Allocate, Free, Open, Read, Write, Close, Seek, cpu80386, &erf);
    Check(context != nullptr);

    char name[] = "fuzz.cab";
    const intptr_t cabinet = Open(name, FDI_O_RDONLY, 0);
    FDICABINETINFO info{};
    FDIIsCabinet(context, cabinet, &info);
    Close(cabinet);

    char folder[] = "in/";
    const int copied = FDICopy(context, name, folder, 0, Notify, nullptr, nullptr);
    Check(copied || (erf.fError != 0 && erf.erfOper > FDIERROR_NONE && erf.erfOper <= FDIERROR_USER_ABORT));
    Check(openFiles.empty());

    Check(FDIDestroy(context) == 1);
    Check(liveBlocks == 0);
    return 0;
}
