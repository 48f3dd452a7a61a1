#include "fdi/CabinetCopy.h"

#include <mspack.h>

#include <cstring>

#include "fdi/CabinetHeader.h"
#include "fdi/MspackBridge.h"

namespace fdi {
namespace {

// The NEXT_CABINET callback may write a folder of up to 255 bytes into psz3.
constexpr size_t kNextCabinetPathSize = 256;
// libmspack reads cabinet data in blocks of this size; larger blocks mean fewer read calls.
constexpr int kInputBufferSize = 64 * 1024;
constexpr intptr_t kAbort = -1;

char emptyText[] = "";

char* OrEmpty(char* text) { return text != nullptr ? text : emptyText; }

// A cabinet of the set, read by both readers. libmspack keeps the path it was opened with.
struct LoadedCabinet {
    CabinetHeader header;
    char* path;
    mscabd_cabinet* cabinet;  // null when libmspack has not opened it
    bool appended;            // libmspack holds it in the first cabinet's set
    LoadedCabinet* next;
};

int ErrorFromMspack(int error) {
    switch (error) {
        case MSPACK_ERR_OPEN: return FDIERROR_CABINET_NOT_FOUND;
        case MSPACK_ERR_WRITE: return FDIERROR_TARGET_FILE;
        case MSPACK_ERR_NOMEMORY: return FDIERROR_ALLOC_FAIL;
        case MSPACK_ERR_SIGNATURE: return FDIERROR_NOT_A_CABINET;
        default: return FDIERROR_CORRUPT_CABINET;
    }
}

class CopyRun {
public:
    CopyRun(FdiContext& context, const char* cabinetPath, PFNFDINOTIFY notify, void* user)
        : context(context), cabinetPath(cabinetPath), notify(notify), user(user),
          bridge{&context, -1, false}, scope(bridge) {}

    ~CopyRun() {
        // Closing the first cabinet closes every cabinet appended to it.
        for (LoadedCabinet* loaded = first; loaded != nullptr; loaded = loaded->next) {
            if (loaded->cabinet != nullptr && !loaded->appended) {
                decompressor->close(decompressor, loaded->cabinet);
            }
        }
        for (LoadedCabinet* loaded = first; loaded != nullptr;) {
            LoadedCabinet* next = loaded->next;
            FreeCabinetHeader(context, loaded->header);
            Release(context, loaded->path);
            Release(context, loaded);
            loaded = next;
        }
        if (decompressor != nullptr) mspack_destroy_cab_decompressor(decompressor);
        Release(context, mspackFiles);
    }
    CopyRun(const CopyRun&) = delete;
    CopyRun& operator=(const CopyRun&) = delete;

    bool Run(const char* cabinet) {
        const int error = CopyAll(cabinet);
        if (error == 0) return true;
        SetError(context, error, mspackError);
        return false;
    }

private:
    int CopyAll(const char* cabinet) {
        first = NewLoadedCabinet();
        if (first == nullptr) return FDIERROR_ALLOC_FAIL;
        first->path = JoinPath(cabinetPath, cabinet, false);
        if (first->path == nullptr) return FDIERROR_ALLOC_FAIL;

        const intptr_t hf = context.open(first->path, kCabinetOpenFlags, kCabinetOpenMode);
        if (hf == -1) return FDIERROR_CABINET_NOT_FOUND;
        int error = ReadCabinetHeader(context, hf, first->header);
        if (error == 0 && Notify(fdintCABINET_INFO, CabinetInfo(first->header, cabinetPath)) == kAbort) {
            error = FDIERROR_USER_ABORT;
        }
        if (error == 0) error = ReadCabinetFiles(context, hf, first->header);
        context.close(hf);
        if (error != 0) return error;
        // A cabinet without files is complete; libmspack would reject it.
        if (first->header.fileCount == 0) return 0;

        if ((error = OpenDecompressor()) != 0) return error;
        if ((error = OpenWithMspack(*first)) != 0) return error;
        if ((error = CollectMspackFiles()) != 0) return error;

        for (unsigned i = 0; i < first->header.fileCount; ++i) {
            if ((error = CopyFile(i)) != 0) return error;
        }
        return 0;
    }

    int CopyFile(unsigned index) {
        const CabinetFile& file = first->header.files[index];
        if (ContinuesFromPrevious(file.folderIndex)) {
            FDINOTIFICATION partial = Blank();
            partial.psz1 = file.name;
            partial.psz2 = OrEmpty(first->header.previousName);
            partial.psz3 = OrEmpty(first->header.previousDisk);
            return Notify(fdintPARTIAL_FILE, partial) == kAbort ? FDIERROR_USER_ABORT : 0;
        }

        FDINOTIFICATION copy = Blank();
        copy.psz1 = file.name;
        copy.cb = static_cast<int32_t>(file.size);
        copy.date = file.date;
        copy.time = file.time;
        copy.attribs = file.attribs;
        const intptr_t output = Notify(fdintCOPY_FILE, copy);
        if (output == kAbort) return FDIERROR_USER_ABORT;
        if (output == 0) return 0;

        int error = ContinuesToNext(file.folderIndex) ? LoadContinuation(file) : 0;
        if (error == 0) error = Extract(index, output);

        // The caller closes its handle on this notification, also after a failure.
        FDINOTIFICATION close = Blank();
        close.psz1 = file.name;
        close.hf = output;
        close.date = file.date;
        close.time = file.time;
        close.attribs = file.attribs;
        close.cb = (file.attribs & FDI_A_EXEC) != 0 ? 1 : 0;
        const intptr_t closed = Notify(fdintCLOSE_FILE_INFO, close);
        if (error == 0 && (closed == 0 || closed == kAbort)) error = FDIERROR_USER_ABORT;
        return error;
    }

    int Extract(unsigned index, intptr_t output) {
        bridge.outputHandle = output;
        const int result = decompressor->extract(decompressor, mspackFiles[index], kOutputName);
        bridge.outputHandle = -1;
        return CheckMspack(result);
    }

    // Loads the cabinets that hold the rest of file: the next one, and again as long as the
    // file continues beyond the cabinet just loaded.
    int LoadContinuation(const CabinetFile& file) {
        LoadedCabinet* reached = first;
        bool continues = true;
        while (continues) {
            if (reached->next == nullptr) {
                const int error = LoadNextCabinet(*reached);
                if (error != 0) return error;
            }
            reached = reached->next;
            const CabinetFile* part = FindContinuation(reached->header, file.name);
            continues = part != nullptr && ContinuesToNext(part->folderIndex);
        }
        return 0;
    }

    int LoadNextCabinet(LoadedCabinet& last) {
        if (last.header.nextName == nullptr) return FDIERROR_CORRUPT_CABINET;
        LoadedCabinet* loaded = NewLoadedCabinet();
        if (loaded == nullptr) return FDIERROR_ALLOC_FAIL;
        last.next = loaded;

        const size_t pathLength = cabinetPath != nullptr ? std::strlen(cabinetPath) : 0;
        const size_t folderSize = pathLength + 1 > kNextCabinetPathSize ? pathLength + 1 : kNextCabinetPathSize;
        auto* folder = static_cast<char*>(Allocate(context, folderSize));
        if (folder == nullptr) return FDIERROR_ALLOC_FAIL;
        std::memset(folder, 0, folderSize);
        if (pathLength != 0) std::memcpy(folder, cabinetPath, pathLength);

        const int error = FindNextCabinet(last, *loaded, folder, folderSize);
        if (error == 0 && Notify(fdintCABINET_INFO, CabinetInfo(loaded->header, folder)) == kAbort) {
            Release(context, folder);
            return FDIERROR_USER_ABORT;
        }
        Release(context, folder);
        if (error != 0) return error;

        const int opened = OpenWithMspack(*loaded);
        if (opened != 0) return opened;
        const int appended = CheckMspack(decompressor->append(decompressor, last.cabinet, loaded->cabinet));
        if (appended != 0) return appended;
        loaded->appended = true;
        // Appending may move libmspack's file records: look them up again.
        return CollectMspackFiles();
    }

    // Asks for the next cabinet until one of the right set opens, or the caller gives up.
    int FindNextCabinet(const LoadedCabinet& last, LoadedCabinet& loaded, char* folder, size_t folderSize) {
        int failure = FDIERROR_NONE;
        for (;;) {
            FDINOTIFICATION next = Blank();
            next.psz1 = last.header.nextName;
            next.psz2 = OrEmpty(last.header.nextDisk);
            next.psz3 = folder;
            next.fdie = failure;
            if (Notify(fdintNEXT_CABINET, next) == kAbort) return FDIERROR_USER_ABORT;
            // The callback may have rewritten the folder; it stays terminated within the buffer.
            folder[folderSize - 1] = '\0';
            Release(context, loaded.path);
            loaded.path = JoinPath(folder, last.header.nextName, true);
            if (loaded.path == nullptr) return FDIERROR_ALLOC_FAIL;
            failure = ReadNextCabinet(last, loaded);
            if (failure == 0) return 0;
            if (failure == FDIERROR_ALLOC_FAIL) return failure;
        }
    }

    int ReadNextCabinet(const LoadedCabinet& last, LoadedCabinet& loaded) {
        FreeCabinetHeader(context, loaded.header);
        const intptr_t hf = context.open(loaded.path, kCabinetOpenFlags, kCabinetOpenMode);
        if (hf == -1) return FDIERROR_CABINET_NOT_FOUND;
        int error = ReadCabinetHeader(context, hf, loaded.header);
        if (error == 0 && (loaded.header.setID != last.header.setID ||
                           loaded.header.cabinetIndex != last.header.cabinetIndex + 1)) {
            error = FDIERROR_WRONG_CABINET;
        }
        if (error == 0) error = ReadCabinetFiles(context, hf, loaded.header);
        context.close(hf);
        if (error != 0) FreeCabinetHeader(context, loaded.header);
        return error;
    }

    int OpenDecompressor() {
        decompressor = mspack_create_cab_decompressor(BridgeSystem());
        if (decompressor == nullptr) return FDIERROR_ALLOC_FAIL;
        decompressor->set_param(decompressor, MSCABD_PARAM_DECOMPBUF, kInputBufferSize);
        return 0;
    }

    int OpenWithMspack(LoadedCabinet& loaded) {
        loaded.cabinet = decompressor->open(decompressor, loaded.path);
        if (loaded.cabinet != nullptr) return 0;
        return CheckMspack(decompressor->last_error(decompressor));
    }

    // libmspack's records of the first cabinet's files, in table order: they lead its list.
    int CollectMspackFiles() {
        if (mspackFiles == nullptr) {
            mspackFiles = static_cast<mscabd_file**>(
                Allocate(context, sizeof(mscabd_file*) * first->header.fileCount));
            if (mspackFiles == nullptr) return FDIERROR_ALLOC_FAIL;
        }
        mscabd_file* record = first->cabinet->files;
        for (unsigned i = 0; i < first->header.fileCount; ++i) {
            if (record == nullptr) return FDIERROR_CORRUPT_CABINET;
            mspackFiles[i] = record;
            record = record->next;
        }
        return 0;
    }

    int CheckMspack(int result) {
        if (result == MSPACK_ERR_OK) return 0;
        mspackError = result;
        return bridge.outOfMemory ? FDIERROR_ALLOC_FAIL : ErrorFromMspack(result);
    }

    LoadedCabinet* NewLoadedCabinet() {
        auto* loaded = static_cast<LoadedCabinet*>(Allocate(context, sizeof(LoadedCabinet)));
        if (loaded != nullptr) *loaded = LoadedCabinet{CabinetHeader{}, nullptr, nullptr, false, nullptr};
        return loaded;
    }

    // folder and name joined; with a separator between them when asked and missing.
    char* JoinPath(const char* folder, const char* name, bool addSeparator) {
        const size_t folderLength = folder != nullptr ? std::strlen(folder) : 0;
        const size_t nameLength = name != nullptr ? std::strlen(name) : 0;
        const bool separator = addSeparator && folderLength != 0 && folder[folderLength - 1] != '/';
        auto* path = static_cast<char*>(Allocate(context, folderLength + separator + nameLength + 1));
        if (path == nullptr) return nullptr;
        char* end = path;
        if (folderLength != 0) end = static_cast<char*>(std::memcpy(end, folder, folderLength)) + folderLength;
        if (separator) *end++ = '/';
        if (nameLength != 0) end = static_cast<char*>(std::memcpy(end, name, nameLength)) + nameLength;
        *end = '\0';
        return path;
    }

    FDINOTIFICATION Blank() const {
        FDINOTIFICATION notification{};
        notification.pv = user;
        return notification;
    }

    FDINOTIFICATION CabinetInfo(CabinetHeader& header, const char* path) const {
        FDINOTIFICATION info = Blank();
        info.psz1 = OrEmpty(header.nextName);
        info.psz2 = OrEmpty(header.nextDisk);
        info.psz3 = const_cast<char*>(path != nullptr ? path : emptyText);
        info.setID = header.setID;
        info.iCabinet = header.cabinetIndex;
        return info;
    }

    intptr_t Notify(int type, FDINOTIFICATION notification) { return notify(type, &notification); }

    FdiContext& context;
    const char* cabinetPath;
    PFNFDINOTIFY notify;
    void* user;
    Bridge bridge;
    BridgeScope scope;
    mscab_decompressor* decompressor = nullptr;
    LoadedCabinet* first = nullptr;
    mscabd_file** mspackFiles = nullptr;
    int mspackError = 0;
};

}  // namespace

bool CopyCabinet(FdiContext& context, const char* cabinet, const char* cabinetPath,
                 PFNFDINOTIFY notify, void* user) {
    CopyRun run(context, cabinetPath, notify, user);
    return run.Run(cabinet);
}

}  // namespace fdi
