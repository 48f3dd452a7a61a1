#include "fdi/FdiHarness.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/CabinetWriter.h"

namespace {


void* CountedAlloc(uint32_t size) {
    if (FdiHarness::failAllocationAt >= 0 && FdiHarness::allocations >= FdiHarness::failAllocationAt) return nullptr;
    ++FdiHarness::allocations;
    return std::malloc(size);
}

void CountedFree(void* block) {
    ++FdiHarness::frees;
    std::free(block);
}

intptr_t OpenForCopy(char* path, int flags, int /*mode*/) {
    const int posix = (flags & FDI_O_CREAT) ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY;
    const int fd = ::open(path, posix | O_CLOEXEC, 0644);
    if (fd >= 0) ++FdiHarness::opens;
    return fd;
}

unsigned int ReadForCopy(intptr_t hf, void* buffer, unsigned int count) {
    const ssize_t got = ::read(static_cast<int>(hf), buffer, count);
    return got < 0 ? UINT32_MAX : static_cast<unsigned int>(got);
}

unsigned int WriteForCopy(intptr_t hf, void* buffer, unsigned int count) {
    if (FdiHarness::failWrites) return UINT32_MAX;
    const ssize_t put = ::write(static_cast<int>(hf), buffer, count);
    return put < 0 ? UINT32_MAX : static_cast<unsigned int>(put);
}

int CloseForCopy(intptr_t hf) {
    ++FdiHarness::closes;
    return ::close(static_cast<int>(hf));
}

int32_t SeekForCopy(intptr_t hf, int32_t distance, int origin) {
    return static_cast<int32_t>(::lseek(static_cast<int>(hf), distance, origin));
}

std::string Text(const char* text) { return text != nullptr ? text : "(null)"; }

std::string Describe(int type, const FDINOTIFICATION& n) {
    switch (type) {
        case fdintCABINET_INFO:
            return "CABINET_INFO next=" + Text(n.psz1) + " disk=" + Text(n.psz2) + " set=" +
                   std::to_string(n.setID) + " index=" + std::to_string(n.iCabinet);
        case fdintPARTIAL_FILE: return "PARTIAL_FILE " + Text(n.psz1) + " from=" + Text(n.psz2);
        case fdintCOPY_FILE:
            return "COPY_FILE " + Text(n.psz1) + " " + std::to_string(n.cb);
        case fdintCLOSE_FILE_INFO: {
            char details[64];
            std::snprintf(details, sizeof details, " date=%04x time=%04x attribs=%02x run=%d", n.date, n.time,
                          n.attribs, n.cb);
            return "CLOSE_FILE_INFO " + Text(n.psz1) + details;
        }
        case fdintNEXT_CABINET: return "NEXT_CABINET " + Text(n.psz1) + " fdie=" + std::to_string(n.fdie);
        default: return "OTHER " + std::to_string(type);
    }
}

std::string OutputPathFor(const std::string& folder, const std::string& storedName) {
    std::string flat = storedName;
    for (char& c : flat) {
        if (c == '\\' || c == '/') c = '_';
    }
    return folder + "/" + flat;
}

intptr_t Notify(int type, FDINOTIFICATION* n) {
    FdiHarness& harness = *static_cast<FdiHarness*>(n->pv);
    harness.events.push_back(Describe(type, *n));
    intptr_t answer = 0;
    if (harness.intercept && harness.intercept(type, n, answer)) return answer;
    switch (type) {
        case fdintCOPY_FILE:
            return OpenForCopy(const_cast<char*>(OutputPathFor(harness.outputFolder, n->psz1).c_str()),
                               FDI_O_CREAT, 0);
        case fdintCLOSE_FILE_INFO:
            CloseForCopy(n->hf);
            harness.written[n->psz1] = LoadFile(OutputPathFor(harness.outputFolder, n->psz1));
            return 1;
        case fdintNEXT_CABINET: return n->fdie == FDIERROR_NONE ? 0 : -1;
        default: return 0;
    }
}

}  // namespace

FdiHarness::FdiHarness() {
    allocations = frees = opens = closes = 0;
    failAllocationAt = -1;
    failWrites = false;
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-fdi-XXXXXX").string();
    outputFolder = ::mkdtemp(pattern.data()) ? pattern : std::string();
}

FdiHarness::~FdiHarness() {
    std::error_code ignored;
    std::filesystem::remove_all(outputFolder, ignored);
}

bool FdiHarness::Copy(const std::string& name, const std::string& folder) {
    void* context = FDICreate(CountedAlloc, CountedFree, OpenForCopy, ReadForCopy, WriteForCopy, CloseForCopy,
                              SeekForCopy, cpu80386, &erf);
    if (context == nullptr) return false;
    const bool copied = FDICopy(context, const_cast<char*>(name.c_str()), const_cast<char*>(folder.c_str()), 0,
                                Notify, nullptr, this) != 0;
    FDIDestroy(context);
    return copied;
}
