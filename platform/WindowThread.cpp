#include "platform/WindowThread.h"

#include <FL/Fl.H>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {
namespace {

struct Waiter {
    bool finished = false;
};

struct Entry {
    const void* key;
    std::function<void()> task;
};

struct HandOffs {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Entry> queue;
    bool closed = false;
    bool wakeUpPending = false;
    std::thread::id windowThread;
};

HandOffs& State() {
    static HandOffs state;
    return state;
}

void RunQueuedWhenIdle(void*);

// Runs on the window thread for the one outstanding wake-up: takes what is queued and runs it.
// The wake-up stays outstanding until the window thread's next turn (its idle step, after FLTK's
// checks and before it paints): what workers queue meanwhile waits for that turn, so every
// change is painted and seen by the checks, rather than a fast worker's changes being applied
// in one go.
void RunQueued(void*) {
    HandOffs& s = State();
    std::deque<Entry> batch;
    {
        std::lock_guard guard(s.lock);
        batch.swap(s.queue);
    }
    for (Entry& entry : batch) {
        {
            std::lock_guard guard(s.lock);
            if (s.closed) break;  // a task closed the hand-offs: the rest is dropped
        }
        entry.task();
    }
    Fl::add_idle(RunQueuedWhenIdle);
}

void RunQueuedWhenIdle(void*) {
    Fl::remove_idle(RunQueuedWhenIdle);
    HandOffs& s = State();
    {
        std::lock_guard guard(s.lock);
        if (s.queue.empty()) {
            s.wakeUpPending = false;
            return;
        }
    }
    RunQueued(nullptr);
}

// Called with the lock held, after an entry was queued.
void WakeWindowThread(std::unique_lock<std::mutex>& held) {
    HandOffs& s = State();
    if (s.wakeUpPending) return;
    s.wakeUpPending = true;
    // The ring is full only when someone else floods it; wait for the window thread to make room.
    while (Fl::awake(RunQueued, nullptr) != 0 && !s.closed) {
        held.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        held.lock();
    }
}

FinishHandOff MakeFinish(const std::shared_ptr<Waiter>& waiter) {
    return [waiter] {
        HandOffs& s = State();
        std::lock_guard guard(s.lock);
        waiter->finished = true;
        s.changed.notify_all();
    };
}

}  // namespace

void BecomeWindowThread() {
    HandOffs& s = State();
    {
        std::lock_guard guard(s.lock);
        s.windowThread = std::this_thread::get_id();
    }
    Fl::lock();
}

bool OnWindowThread() {
    HandOffs& s = State();
    std::lock_guard guard(s.lock);
    return s.windowThread == std::this_thread::get_id();
}

void OpenHandOffs() {
    HandOffs& s = State();
    std::lock_guard guard(s.lock);
    s.closed = false;
}

void CloseHandOffs() {
    HandOffs& s = State();
    std::deque<Entry> dropped;
    {
        std::lock_guard guard(s.lock);
        s.closed = true;
        dropped.swap(s.queue);
        s.changed.notify_all();
    }
}

bool HandOffAndWait(const std::function<void(FinishHandOff finish)>& begin) {
    HandOffs& s = State();
    auto waiter = std::make_shared<Waiter>();
    if (OnWindowThread()) {
        {
            std::lock_guard guard(s.lock);
            if (s.closed) return false;
        }
        begin(MakeFinish(waiter));
        for (;;) {
            {
                std::lock_guard guard(s.lock);
                if (waiter->finished) return true;
                if (s.closed) return false;
            }
            Fl::wait();
        }
    }
    std::unique_lock held(s.lock);
    if (s.closed) return false;
    // begin is referenced, not copied: the caller waits until the task has run or was dropped.
    s.queue.push_back({nullptr, [&begin, finish = MakeFinish(waiter)] { begin(finish); }});
    WakeWindowThread(held);
    s.changed.wait(held, [&] { return waiter->finished || s.closed; });
    return waiter->finished;
}

bool RunOnWindowThread(const std::function<void()>& task) {
    if (OnWindowThread()) {
        task();
        return true;
    }
    return HandOffAndWait([&task](const FinishHandOff& finish) {
        task();
        finish();
    });
}

void PostToWindowThread(const void* key, std::function<void()> task) {
    HandOffs& s = State();
    std::unique_lock held(s.lock);
    if (s.closed) return;
    if (key != nullptr) {
        for (const Entry& entry : s.queue) {
            if (entry.key == key) return;
        }
    }
    s.queue.push_back({key, std::move(task)});
    WakeWindowThread(held);
}

void DropPosted(const void* key) {
    HandOffs& s = State();
    std::deque<Entry> dropped;
    std::lock_guard guard(s.lock);
    for (auto it = s.queue.begin(); it != s.queue.end();) {
        if (it->key == key) {
            dropped.push_back(std::move(*it));
            it = s.queue.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace platform
