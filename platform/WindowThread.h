// Handing work from other threads to the window thread.
//
// Window texts, message boxes and progress change only on the thread that runs the windows.
// A worker hands each change over in one of three ways: and waits until it has been applied
// (status texts, in order), and waits until the window thread says it is over (a box waiting
// for OK), or without waiting at all, the newest standing for all before it (progress).
//
// All hand-offs share one queue, and at most one wake-up of the window thread is outstanding
// at any time, so FLTK's small wake-up ring is never flooded however fast a worker posts.
// When the window goes away the hand-offs are closed: whatever still waits is dropped, every
// waiting caller returns, and later hand-offs return at once, so a worker can never be left
// waiting for a window thread that no longer listens.
#pragma once

#include <functional>

namespace platform {

// Makes the calling thread the window thread and sets up FLTK for wake-ups from other threads
// (Fl::lock). Called once, before any window is created and before any other thread hands off.
void BecomeWindowThread();
bool OnWindowThread();

// The window thread opens hand-offs before it starts a worker and closes them when it stops
// listening (see above). Hand-offs start open.
void OpenHandOffs();
void CloseHandOffs();

// Runs task on the window thread and returns once it has run; on the window thread itself it
// runs at once. False when hand-offs are closed and the task did not run.
bool RunOnWindowThread(const std::function<void()>& task);

// Runs begin on the window thread and returns once the window thread has called the finish
// handed to begin, or hand-offs are closed. Finish may be called at any later time, also after
// the caller has returned. On the window thread itself, begin runs at once and the window
// events are handled until then. False when hand-offs were closed before finish was called.
using FinishHandOff = std::function<void()>;
bool HandOffAndWait(const std::function<void(FinishHandOff finish)>& begin);

// Queues task for the window thread and returns at once. While a task posted under the same
// key still waits, nothing more is queued: the waiting task stands for both, so it should read
// the newest values when it runs. A null key never merges.
void PostToWindowThread(const void* key, std::function<void()> task);

// Drops a waiting task of key; for an owner that goes away before it ran. Window thread only.
void DropPosted(const void* key);

}  // namespace platform
