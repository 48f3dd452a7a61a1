// The state behind an FDI context handle: the caller's callbacks and error record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fdi/fdi.h"

namespace fdi {

struct FdiContext {
    uint32_t magic;
    PFNALLOC alloc;
    PFNFREE free;
    PFNOPEN open;
    PFNREAD read;
    PFNWRITE write;
    PFNCLOSE close;
    PFNSEEK seek;
    ERF* erf;
};

inline constexpr uint32_t kContextMagic = 0x46444943;  // "FDIC"

// The context behind a handle, or null when the handle is not one.
FdiContext* ContextFromHandle(void* handle);

void SetError(FdiContext& context, int oper, int type = 0);

// A block from the caller's allocator; null when it has none, or when the size does not fit
// the allocator's 32-bit count.
void* Allocate(FdiContext& context, size_t size);
void Release(FdiContext& context, void* block);

// A copy of text in a block of the caller's, or null.
char* CopyText(FdiContext& context, const char* text);

// The C run-time's values for reading a cabinet.
inline constexpr int kCabinetOpenFlags = FDI_O_BINARY | FDI_O_RDONLY;
inline constexpr int kCabinetOpenMode = FDI_S_IREAD | FDI_S_IWRITE;

}  // namespace fdi
