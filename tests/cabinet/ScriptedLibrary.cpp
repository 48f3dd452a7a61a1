// A cabinet library whose FDICopy only plays the next-cabinet dialogue, to show how the
// extractor follows it: a cabinet named "same*" announces itself as its continuation, in
// capitals; any other announces "SECOND.CAB". Every announced name is in capitals, and
// copying a name with capitals fails with code 77: the extractor copied a continuation.
#include <cctype>
#include <cstdint>
#include <string>

#include "fdi/fdi.h"

namespace {
ERF* errors = nullptr;
}

extern "C" {
__attribute__((visibility("default"))) void* FDICreate(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE,
                                                       PFNSEEK, int, ERF* perf) {
    errors = perf;
    return &errors;
}

__attribute__((visibility("default"))) int FDICopy(void*, char* cabinet, char*, int, PFNFDINOTIFY notify,
                                                   PFNFDIDECRYPT, void* user) {
    std::string name = cabinet;
    for (const char c : name) {
        if (std::isupper(static_cast<unsigned char>(c))) {
            *errors = ERF{77, 0, 1};
            return 0;
        }
    }
    std::string next = name.rfind("same", 0) == 0 ? name : "second.cab";
    for (char& c : next) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    FDINOTIFICATION announcement{};
    announcement.psz1 = next.data();
    announcement.pv = user;
    return notify(fdintNEXT_CABINET, &announcement) == 0;
}

__attribute__((visibility("default"))) int FDIIsCabinet(void*, intptr_t, FDICABINETINFO*) { return 0; }
__attribute__((visibility("default"))) int FDIDestroy(void*) { return 1; }
}
