#include "cabinet/CabinetExtractor.h"

#include <cctype>
#include <cstring>

#include "cabinet/ExtractionCallbacks.h"
#include "cabinet/PathBuffer.h"
#include "platform/DynamicLibrary.h"

namespace {

constexpr const char* kCabinetLibraryName = "libcabinet.so";
constexpr int kProcessorType = cpu80386;

bool EqualIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

template <typename Function>
Function LookUp(void* library, const char* name) {
    return reinterpret_cast<Function>(platform::FindLibrarySymbol(library, name));
}

}  // namespace

CCabinetExtractor::CCabinetExtractor()
    : fdiContext(nullptr), erf{0, 0, 0}, errorCode(0), destinationFolder(nullptr), nextCabinetName{},
      cabinetLibrary(nullptr), pfnFDICreate(nullptr), pfnFDICopy(nullptr), pfnFDIIsCabinet(nullptr),
      pfnFDIDestroy(nullptr) {}

CCabinetExtractor::~CCabinetExtractor() {
    if (fdiContext != nullptr && pfnFDIDestroy(fdiContext)) fdiContext = nullptr;
    if (cabinetLibrary != nullptr) {
        platform::FreeSharedLibrary(cabinetLibrary);
        cabinetLibrary = nullptr;
    }
}

bool CCabinetExtractor::Create() {
    errorCode = 0;
    if (fdiContext != nullptr) return false;
    if (cabinetLibrary == nullptr && !BindLibrary()) {
        erf.fError = 1;
        erf.erfOper = kLibraryMissingError;
        return false;
    }
    fdiContext = pfnFDICreate(ExtractionAllocate, ExtractionFree, ExtractionOpen, ExtractionRead,
                              ExtractionWrite, ExtractionClose, ExtractionSeek, kProcessorType, &erf);
    return fdiContext != nullptr;
}

// Loads the library and looks up all four entry points; FDIIsCabinet is never called but
// must be there. A library that lacks one is unloaded again.
bool CCabinetExtractor::BindLibrary() {
    cabinetLibrary = platform::LoadSharedLibrary(kCabinetLibraryName);
    pfnFDICreate = LookUp<PFNFDICREATE>(cabinetLibrary, "FDICreate");
    pfnFDICopy = LookUp<PFNFDICOPY>(cabinetLibrary, "FDICopy");
    pfnFDIIsCabinet = LookUp<PFNFDIISCABINET>(cabinetLibrary, "FDIIsCabinet");
    pfnFDIDestroy = LookUp<PFNFDIDESTROY>(cabinetLibrary, "FDIDestroy");
    if (pfnFDICreate != nullptr && pfnFDICopy != nullptr && pfnFDIIsCabinet != nullptr &&
        pfnFDIDestroy != nullptr) {
        return true;
    }
    platform::FreeSharedLibrary(cabinetLibrary);
    cabinetLibrary = nullptr;
    return false;
}

bool CCabinetExtractor::Extract(const char* destination, const char* cabinetPath) {
    errorCode = 0;
    if (fdiContext == nullptr || cabinetPath == nullptr || *cabinetPath == '\0') return false;

    // An empty destination is the current folder, as a null one is; never the root.
    PathBuffer destinationBuffer;
    if (destination != nullptr && *destination != '\0') {
        const size_t length = std::strlen(destination);
        if (!destinationBuffer.Append(destination, length) ||
            (destination[length - 1] != '/' && !destinationBuffer.Append("/"))) {
            RecordOwnError(kTargetFileError);
            return false;
        }
    }

    const char* lastSlash = std::strrchr(cabinetPath, '/');
    const char* name = lastSlash != nullptr ? lastSlash + 1 : cabinetPath;
    PathBuffer cabinetFolder;
    PathBuffer cabinetName;
    if (!cabinetFolder.Append(cabinetPath, static_cast<size_t>(name - cabinetPath)) ||
        !cabinetName.Append(name)) {
        RecordOwnError(kTargetFileError);
        return false;
    }

    destinationFolder = destinationBuffer.Text();
    std::memcpy(nextCabinetName, cabinetName.Text(), cabinetName.Length() + 1);
    char currentName[kCabinetPathSize];
    std::memcpy(currentName, cabinetName.Text(), cabinetName.Length() + 1);
    char folder[kCabinetPathSize];
    std::memcpy(folder, cabinetFolder.Text(), cabinetFolder.Length() + 1);
    const bool extracted = CopyCabinetSet(currentName, folder);
    destinationFolder = nullptr;
    return extracted;
}

// Follows the set cabinet by cabinet: whenever a copy announced a continuation cabinet, that
// cabinet is copied next, from the same folder.
bool CCabinetExtractor::CopyCabinetSet(char* cabinetName, char* cabinetFolder) {
    if (!pfnFDICopy(fdiContext, cabinetName, cabinetFolder, 0, ExtractionNotify, nullptr, this)) {
        return false;
    }
    while (!EqualIgnoringCase(cabinetName, nextCabinetName)) {
        std::memcpy(cabinetName, nextCabinetName, sizeof(nextCabinetName));
        if (!pfnFDICopy(fdiContext, cabinetName, cabinetFolder, 0, ExtractionNotify, nullptr, this)) {
            return false;
        }
    }
    return true;
}

int CCabinetExtractor::ReportedErrorCode() {
    if (errorCode != 0) erf.erfOper = errorCode;
    return erf.fError != 0 ? erf.erfOper : 0;
}

// A failure found before the library is called: recorded as the library records its own.
void CCabinetExtractor::RecordOwnError(int code) {
    errorCode = code;
    erf.fError = 1;
    erf.erfOper = code;
}
