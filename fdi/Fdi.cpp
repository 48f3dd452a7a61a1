// The four exported entry points of libcabinet.so.
#include "fdi/fdi.h"

#include "fdi/CabinetCopy.h"
#include "fdi/CabinetHeader.h"

#define FDI_EXPORT extern "C" __attribute__((visibility("default")))

FDI_EXPORT void* FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread,
                           PFNWRITE pfnwrite, PFNCLOSE pfnclose, PFNSEEK pfnseek, int /*cpuType*/,
                           ERF* perf) {
    if (perf == nullptr) return nullptr;
    if (pfnalloc == nullptr || pfnfree == nullptr || pfnopen == nullptr || pfnread == nullptr ||
        pfnwrite == nullptr || pfnclose == nullptr || pfnseek == nullptr) {
        *perf = ERF{FDIERROR_NONE, 0, 1};
        return nullptr;
    }
    auto* context = static_cast<fdi::FdiContext*>(pfnalloc(sizeof(fdi::FdiContext)));
    if (context == nullptr) {
        *perf = ERF{FDIERROR_ALLOC_FAIL, 0, 1};
        return nullptr;
    }
    *context = fdi::FdiContext{fdi::kContextMagic, pfnalloc, pfnfree, pfnopen, pfnread,
                               pfnwrite, pfnclose, pfnseek, perf};
    return context;
}

FDI_EXPORT int FDICopy(void* hfdi, char* pszCabinet, char* pszCabPath, int /*flags*/,
                       PFNFDINOTIFY pfnfdin, PFNFDIDECRYPT /*pfnfdid*/, void* pvUser) {
    fdi::FdiContext* context = fdi::ContextFromHandle(hfdi);
    if (context == nullptr) return 0;
    if (pfnfdin == nullptr) {
        fdi::SetError(*context, FDIERROR_NONE);
        return 0;
    }
    return fdi::CopyCabinet(*context, pszCabinet, pszCabPath, pfnfdin, pvUser) ? 1 : 0;
}

FDI_EXPORT int FDIIsCabinet(void* hfdi, intptr_t hf, FDICABINETINFO* pfdici) {
    fdi::FdiContext* context = fdi::ContextFromHandle(hfdi);
    if (context == nullptr || pfdici == nullptr) return 0;
    fdi::CabinetHeader header;
    if (fdi::ReadCabinetHeader(*context, hf, header) != 0) return 0;
    *pfdici = FDICABINETINFO{header.cabinetSize,
                             header.folderCount,
                             header.fileCount,
                             header.setID,
                             header.cabinetIndex,
                             (header.flags & fdi::kHeaderHasReserve) != 0,
                             (header.flags & fdi::kHeaderHasPrevious) != 0,
                             (header.flags & fdi::kHeaderHasNext) != 0};
    fdi::FreeCabinetHeader(*context, header);
    return 1;
}

FDI_EXPORT int FDIDestroy(void* hfdi) {
    fdi::FdiContext* context = fdi::ContextFromHandle(hfdi);
    if (context == nullptr) return 0;
    context->magic = 0;
    context->free(context);
    return 1;
}
