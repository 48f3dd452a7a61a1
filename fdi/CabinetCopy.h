// One FDICopy: a cabinet's files announced and extracted in table order, with the later
// cabinets of its set loaded whenever a file continues into them.
#pragma once

#include "fdi/FdiContext.h"

namespace fdi {

// Runs FDICopy on a valid context. True on success; false with the context's ERF filled.
bool CopyCabinet(FdiContext& context, const char* cabinet, const char* cabinetPath,
                 PFNFDINOTIFY notify, void* user);

}  // namespace fdi
