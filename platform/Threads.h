// Threads and their message queues.
//
// Every thread has an identifier of the program's own (never 0, never all bits set) and a queue
// that other threads post small messages to. A thread made with CreateThread has its queue
// from the moment CreateThread returns, so messages posted right away are not lost; any other
// thread gets its queue at its first call of GetCurrentThreadId, PeekThreadMessage or a wait.
// A queue goes away with its thread; posting to it then fails.
#pragma once

#include <cstdint>

namespace platform {

struct ThreadMessage {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

using ThreadEntry = void (*)(void* argument);

// Starts entry(argument) on a new, detached thread and stores its identifier in *threadId
// before the thread runs. False (and nothing started) when no thread can be made.
bool CreateThread(ThreadEntry entry, void* argument, uint32_t* threadId);

uint32_t GetCurrentThreadId();

// Appends a message to the queue of thread threadId. False when there is no such thread.
bool PostThreadMessage(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Takes the oldest message of the calling thread's queue. False when the queue is empty.
bool PeekThreadMessage(ThreadMessage& message);

// Waits until thread threadId has ended: its entry has returned and it touches nothing more.
// True at once for a thread that is not running; false after timeoutMs (kInfinite: no limit).
bool WaitForThreadEnd(uint32_t threadId, uint32_t timeoutMs);

void SleepMilliseconds(uint32_t milliseconds);

namespace detail {
// A descriptor that polls readable while the calling thread's queue holds a message.
int CurrentQueueReadiness();
}  // namespace detail

}  // namespace platform
