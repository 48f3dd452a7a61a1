#include "platform/Events.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/Deadline.h"
#include "platform/ErrorCodes.h"

namespace platform {
namespace {

// What SetEventSignal did, per descriptor, so that a reset of an event nobody set costs no
// system call. Descriptors beyond the table are always treated as possibly signalled.
constexpr int kTrackedEvents = 65536;
std::atomic<bool> setSinceReset[kTrackedEvents];

void NoteSet(int event, bool set) {
    if (event < kTrackedEvents) setSinceReset[event].store(set, std::memory_order_relaxed);
}

}  // namespace

namespace detail {
bool MaybeSignalled(int event) {
    return event >= kTrackedEvents || setSinceReset[event].load(std::memory_order_relaxed);
}
}  // namespace detail

int CreateManualResetEvent() {
    const int event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (event < 0) {
        SetLastErrorFromErrno(errno, ErrorDomain::kFile);
        return -1;
    }
    NoteSet(event, false);
    return event;
}

bool SetEventSignal(int event) {
    const uint64_t one = 1;
    if (event < 0 || ::write(event, &one, sizeof one) != sizeof one) {
        SetLastErrorCode(kErrorInvalidHandle);
        return false;
    }
    NoteSet(event, true);
    return true;
}

bool ResetEventSignal(int event) {
    if (event < 0) {
        SetLastErrorCode(kErrorInvalidHandle);
        return false;
    }
    NoteSet(event, false);
    uint64_t count;
    // Reading drains the counter; an event that was not signalled reads EAGAIN, which is fine.
    if (::read(event, &count, sizeof count) < 0 && errno != EAGAIN) {
        SetLastErrorFromErrno(errno, ErrorDomain::kFile);
        return false;
    }
    return true;
}

int32_t WaitForEvent(int event, uint32_t timeoutMs) {
    if (event < 0) {
        SetLastErrorCode(kErrorInvalidHandle);
        return kWaitFailed;
    }
    const detail::Deadline deadline(timeoutMs, kInfinite);
    for (;;) {
        pollfd fd{event, POLLIN, 0};
        const int n = ::poll(&fd, 1, deadline.PollTimeout());
        if (n > 0) {
            if (fd.revents & POLLNVAL) break;
            return kWaitEvent;
        }
        if (n == 0) return kWaitTimeout;
        if (errno != EINTR) break;
    }
    SetLastErrorCode(kErrorInvalidHandle);
    return kWaitFailed;
}

void CloseEvent(int event) {
    if (event < 0) return;
    NoteSet(event, false);
    ::close(event);
}

}  // namespace platform
