#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace platform {

// dlmopen into the base namespace is dlopen; it is used because the sanitizers intercept dlopen,
// and the library search would then follow the interceptor's RUNPATH instead of the program's.
void* LoadSharedLibrary(const char* fileName) {
    return ::dlmopen(LM_ID_BASE, fileName, RTLD_NOW | RTLD_LOCAL);
}

void* FindLibrarySymbol(void* library, const char* name) {
    return library != nullptr ? ::dlsym(library, name) : nullptr;
}

void FreeSharedLibrary(void* library) {
    if (library != nullptr) ::dlclose(library);
}

}  // namespace platform
