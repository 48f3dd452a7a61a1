// Manual-reset events: signalled until someone resets them, waitable from any thread.
//
// A handle is an int; -1 means "no event". Failures store the Windows error number as the
// thread's last error (ErrorCodes.h).
#pragma once

#include <cstdint>

namespace platform {

// Results of the waits, with the numbers of WAIT_OBJECT_0, WAIT_OBJECT_0 + 1, WAIT_TIMEOUT
// and WAIT_FAILED.
inline constexpr int32_t kWaitEvent = 0;
inline constexpr int32_t kWaitMessage = 1;
inline constexpr int32_t kWaitTimeout = 258;
inline constexpr int32_t kWaitFailed = -1;
inline constexpr uint32_t kInfinite = 0xFFFFFFFF;

// A new event, not signalled; -1 when it cannot be made.
int CreateManualResetEvent();
bool SetEventSignal(int event);
bool ResetEventSignal(int event);
// kWaitEvent once the event is signalled (it stays signalled), kWaitTimeout after timeoutMs
// (kInfinite: no limit), kWaitFailed for a bad handle.
int32_t WaitForEvent(int event, uint32_t timeoutMs);
// Closes the event; -1 is ignored.
void CloseEvent(int event);

namespace detail {
// Whether SetEventSignal ran on the event since its last reset, known without a system call.
bool MaybeSignalled(int event);
}  // namespace detail

}  // namespace platform
