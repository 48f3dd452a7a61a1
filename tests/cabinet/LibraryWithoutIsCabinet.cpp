// A cabinet library that has every FDI entry point but FDIIsCabinet.
#include <cstdint>

extern "C" {
__attribute__((visibility("default"))) void* FDICreate() { return reinterpret_cast<void*>(uintptr_t{1}); }
__attribute__((visibility("default"))) int FDICopy() { return 1; }
__attribute__((visibility("default"))) int FDIDestroy() { return 1; }
}
