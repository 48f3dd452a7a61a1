#include "fdi/FdiContext.h"

#include <cstring>

namespace fdi {

FdiContext* ContextFromHandle(void* handle) {
    auto* context = static_cast<FdiContext*>(handle);
    if (context == nullptr || context->magic != kContextMagic) return nullptr;
    return context;
}

void SetError(FdiContext& context, int oper, int type) {
    context.erf->erfOper = oper;
    context.erf->erfType = type;
    context.erf->fError = 1;
}

void* Allocate(FdiContext& context, size_t size) {
    if (size > UINT32_MAX) return nullptr;
    return context.alloc(static_cast<uint32_t>(size));
}

void Release(FdiContext& context, void* block) {
    if (block != nullptr) context.free(block);
}

char* CopyText(FdiContext& context, const char* text) {
    const size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(Allocate(context, length + 1));
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    return copy;
}

}  // namespace fdi
