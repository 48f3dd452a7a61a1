#include "fdi/MspackBridge.h"

#include <climits>
#include <cstring>

namespace fdi {
namespace {

pthread_mutex_t registryLock = PTHREAD_MUTEX_INITIALIZER;
Bridge* newestBridge = nullptr;

class RegistryGuard {
public:
    RegistryGuard() { pthread_mutex_lock(&registryLock); }
    ~RegistryGuard() { pthread_mutex_unlock(&registryLock); }
    RegistryGuard(const RegistryGuard&) = delete;
    RegistryGuard& operator=(const RegistryGuard&) = delete;
};

// The newest bridge registered by the calling thread, or null.
Bridge* CurrentBridge() {
    const pthread_t self = pthread_self();
    RegistryGuard guard;
    for (Bridge* bridge = newestBridge; bridge != nullptr; bridge = bridge->previous) {
        if (pthread_equal(bridge->thread, self)) return bridge;
    }
    return nullptr;
}

struct BridgeFile {
    intptr_t handle;
    bool isOutput;  // the caller's output handle: the caller closes it, not the bridge
};

BridgeFile* AsBridgeFile(mspack_file* file) { return reinterpret_cast<BridgeFile*>(file); }

void* AllocateBlock(mspack_system*, size_t bytes) {
    Bridge* currentBridge = CurrentBridge();
    if (currentBridge == nullptr) return nullptr;
    void* block = Allocate(*currentBridge->context, bytes);
    if (block == nullptr) currentBridge->outOfMemory = true;
    return block;
}

void FreeBlock(void* block) {
    Bridge* currentBridge = CurrentBridge();
    if (currentBridge != nullptr) Release(*currentBridge->context, block);
}

mspack_file* OpenFile(mspack_system*, const char* path, int mode) {
    Bridge* currentBridge = CurrentBridge();
    if (currentBridge == nullptr) return nullptr;
    FdiContext& context = *currentBridge->context;
    BridgeFile file{-1, mode == MSPACK_SYS_OPEN_WRITE};
    if (file.isOutput) {
        file.handle = currentBridge->outputHandle;
    } else if (mode == MSPACK_SYS_OPEN_READ) {
        // The callback's path parameter is not const in the FDI shape; it does not change it.
        file.handle = context.open(const_cast<char*>(path), kCabinetOpenFlags, kCabinetOpenMode);
        if (file.handle == -1) return nullptr;
    } else {
        return nullptr;
    }
    auto* opened = static_cast<BridgeFile*>(AllocateBlock(nullptr, sizeof(BridgeFile)));
    if (opened == nullptr) {
        if (!file.isOutput) context.close(file.handle);
        return nullptr;
    }
    *opened = file;
    return reinterpret_cast<mspack_file*>(opened);
}

void CloseFile(mspack_file* handle) {
    Bridge* currentBridge = CurrentBridge();
    BridgeFile* file = AsBridgeFile(handle);
    if (file == nullptr || currentBridge == nullptr) return;
    FdiContext& context = *currentBridge->context;
    if (!file->isOutput) context.close(file->handle);
    Release(context, file);
}

int ReadFile(mspack_file* handle, void* buffer, int bytes) {
    Bridge* currentBridge = CurrentBridge();
    BridgeFile* file = AsBridgeFile(handle);
    if (file == nullptr || currentBridge == nullptr || bytes < 0) return -1;
    const unsigned int got =
        currentBridge->context->read(file->handle, buffer, static_cast<unsigned int>(bytes));
    return got > static_cast<unsigned int>(bytes) ? -1 : static_cast<int>(got);
}

// A write that stores fewer bytes than asked is a failed write: libmspack then reports
// MSPACK_ERR_WRITE, which becomes the FDI target-file error.
int WriteFile(mspack_file* handle, void* buffer, int bytes) {
    Bridge* currentBridge = CurrentBridge();
    BridgeFile* file = AsBridgeFile(handle);
    if (file == nullptr || currentBridge == nullptr || bytes < 0 || !file->isOutput) return -1;
    const unsigned int put =
        currentBridge->context->write(file->handle, buffer, static_cast<unsigned int>(bytes));
    return put == static_cast<unsigned int>(bytes) ? bytes : -1;
}

int SeekFile(mspack_file* handle, off_t offset, int mode) {
    Bridge* currentBridge = CurrentBridge();
    BridgeFile* file = AsBridgeFile(handle);
    if (file == nullptr || currentBridge == nullptr) return -1;
    if (offset < INT32_MIN || offset > INT32_MAX) return -1;
    // libmspack's seek modes are the C run-time's origins: 0 start, 1 current, 2 end.
    const int32_t position =
        currentBridge->context->seek(file->handle, static_cast<int32_t>(offset), mode);
    return position == -1 ? -1 : 0;
}

off_t TellFile(mspack_file* handle) {
    Bridge* currentBridge = CurrentBridge();
    BridgeFile* file = AsBridgeFile(handle);
    if (file == nullptr || currentBridge == nullptr) return -1;
    return currentBridge->context->seek(file->handle, 0, MSPACK_SYS_SEEK_CUR);
}

// libmspack's warnings have no reader here: FDI reports failures through the ERF only.
void Message(mspack_file*, const char*, ...) {}

void CopyBytes(void* source, void* destination, size_t bytes) {
    std::memmove(destination, source, bytes);
}

mspack_system bridgeSystem = {
    OpenFile, CloseFile, ReadFile, WriteFile, SeekFile, TellFile,
    Message,  AllocateBlock, FreeBlock, CopyBytes, nullptr,
};

}  // namespace

BridgeScope::BridgeScope(Bridge& bridge) : bridge(bridge) {
    bridge.thread = pthread_self();
    RegistryGuard guard;
    bridge.previous = newestBridge;
    newestBridge = &bridge;
}

BridgeScope::~BridgeScope() {
    RegistryGuard guard;
    for (Bridge** link = &newestBridge; *link != nullptr; link = &(*link)->previous) {
        if (*link == &bridge) {
            *link = bridge.previous;
            break;
        }
    }
}

mspack_system* BridgeSystem() { return &bridgeSystem; }

}  // namespace fdi
