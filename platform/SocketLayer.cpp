#include "platform/SocketLayer.h"

#include <signal.h>

#include <cerrno>

#include "platform/ErrorCodes.h"

namespace platform {
namespace {
struct sigaction previousPipeAction;
bool started = false;
}  // namespace

int32_t StartSocketLayer() {
    if (started) return 0;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    if (::sigaction(SIGPIPE, &ignore, &previousPipeAction) != 0) {
        return SetLastErrorFromErrno(errno, ErrorDomain::kSocket);
    }
    started = true;
    return 0;
}

void StopSocketLayer() {
    if (!started) return;
    ::sigaction(SIGPIPE, &previousPipeAction, nullptr);
    started = false;
}

}  // namespace platform
