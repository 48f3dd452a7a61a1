// The binding of the cabinet library and one extraction run.
//
// The extractor loads libcabinet.so at run time, creates an FDI context with the callbacks of
// ExtractionCallbacks.h and extracts a cabinet, with the later cabinets of its set, into a
// folder. Every failure leaves one number, ReportedErrorCode, for the user to see.
// Paths are narrow (UTF-8) text with "/" between folders.
#pragma once

#include <cstdint>

#include "fdi/fdi.h"

inline constexpr int kCabinetPathSize = 260;  // 259 bytes and the terminator
inline constexpr int kLibraryMissingError = 1000;

class CCabinetExtractor {
public:
    CCabinetExtractor();
    ~CCabinetExtractor();
    CCabinetExtractor(const CCabinetExtractor&) = delete;
    CCabinetExtractor& operator=(const CCabinetExtractor&) = delete;

    // Binds the library if none is held and creates the FDI context. True when one exists now;
    // false also when one existed already.
    bool Create();

    // Extracts every file of the cabinet at cabinetPath (its folder and name), and of the
    // cabinets it continues into, below destinationFolder (null: the current folder). True when
    // every cabinet of the run was processed. A failed run removes nothing it wrote.
    bool Extract(const char* destinationFolder, const char* cabinetPath);

    // The number to show after a failed Create or Extract; 0 when no error is recorded.
    int ReportedErrorCode();

private:
    friend intptr_t ExtractionNotify(int type, FDINOTIFICATION* notification);

    bool BindLibrary();
    bool CopyCabinetSet(char* cabinetName, char* cabinetFolder);
    void RecordOwnError(int code);

    void* fdiContext;
    ERF erf;
    int errorCode;
    const char* destinationFolder;
    char nextCabinetName[kCabinetPathSize];
    void* cabinetLibrary;
    PFNFDICREATE pfnFDICreate;
    PFNFDICOPY pfnFDICopy;
    PFNFDIISCABINET pfnFDIIsCabinet;
    PFNFDIDESTROY pfnFDIDestroy;
};
