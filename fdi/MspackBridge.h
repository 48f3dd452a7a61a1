// libmspack's system interface (mspack_system) carried over the FDI caller's callbacks.
//
// libmspack copies the system structure into its decoders and calls free without any context,
// so the callbacks cannot be reached through the structure itself: while a copy runs, the
// bridge of the calling thread is found through a thread-local pointer that BridgeScope sets.
// Cabinets are opened by path through the caller's open callback; the one output file that
// libmspack opens for writing is the handle the caller returned for the file being extracted.
#pragma once

#include <mspack.h>

#include <cstdint>

#include "fdi/FdiContext.h"

namespace fdi {

struct Bridge {
    FdiContext* context;
    intptr_t outputHandle;  // where the file being extracted goes
};

// Makes bridge the calling thread's bridge for its lifetime, and puts the previous one back.
class BridgeScope {
public:
    explicit BridgeScope(Bridge& bridge);
    ~BridgeScope();
    BridgeScope(const BridgeScope&) = delete;
    BridgeScope& operator=(const BridgeScope&) = delete;

private:
    Bridge* previous;
};

// The system structure that reaches the calling thread's bridge. Valid for the process's life.
mspack_system* BridgeSystem();

// The name under which libmspack is asked to write the file being extracted.
inline constexpr const char* kOutputName = "<fdi output>";

}  // namespace fdi
