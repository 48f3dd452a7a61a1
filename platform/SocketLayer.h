// The socket layer's start and stop for the whole process, as the program's start-up and
// shutdown bracket the main window with them.
#pragma once

#include <cstdint>

namespace platform {

// A peer that closes its end must never end the program with SIGPIPE: sends pass
// MSG_NOSIGNAL already, and this covers every other write to a socket or a pipe (libcurl's and
// the display connection's included). Programs started later get the default back
// (Launcher.h). 0, or the error number when the layer cannot be started.
int32_t StartSocketLayer();

// Puts back what StartSocketLayer changed. Harmless when it was not started.
void StopSocketLayer();

}  // namespace platform
