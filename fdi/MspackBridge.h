// libmspack's system interface (mspack_system) carried over the FDI caller's callbacks.
//
// libmspack copies the system structure into its decoders and calls free without any context,
// so the callbacks cannot be reached through the structure itself: while a copy runs, its
// bridge is registered for the calling thread by BridgeScope and found again by thread.
// (A registry rather than a thread_local: thread-local storage of a library that the program
// unloads again trips the leak checker's thread scan.)
// Cabinets are opened by path through the caller's open callback; the one output file that
// libmspack opens for writing is the handle the caller returned for the file being extracted.
#pragma once

#include <mspack.h>

#include <pthread.h>

#include <cstdint>

#include "fdi/FdiContext.h"

namespace fdi {

struct Bridge {
    FdiContext* context;
    intptr_t outputHandle;  // where the file being extracted goes
    bool outOfMemory;       // an allocation failed: libmspack may report it as another error
    pthread_t thread{};
    Bridge* previous = nullptr;  // the registry's next older entry
};

// Makes bridge the calling thread's bridge for its lifetime; an outer one comes back after.
class BridgeScope {
public:
    explicit BridgeScope(Bridge& bridge);
    ~BridgeScope();
    BridgeScope(const BridgeScope&) = delete;
    BridgeScope& operator=(const BridgeScope&) = delete;

private:
    Bridge& bridge;
};

// The system structure that reaches the calling thread's bridge. Valid for the process's life.
mspack_system* BridgeSystem();

// The name under which libmspack is asked to write the file being extracted.
inline constexpr const char* kOutputName = "<fdi output>";

}  // namespace fdi
