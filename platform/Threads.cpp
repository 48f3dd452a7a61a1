#include "platform/Threads.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/ErrorCodes.h"
#include "platform/Events.h"

namespace platform {
namespace {

// One thread's queue. `readiness` is an eventfd that holds a count while messages wait, so
// a poll can wait for the queue together with other descriptors.
class Queue {
  public:
    Queue() : readiness(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Queue() {
        if (readiness >= 0) ::close(readiness);
    }
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    bool Usable() const { return readiness >= 0; }
    int Readiness() const { return readiness; }

    void Post(const ThreadMessage& message) {
        std::lock_guard lock(mutex);
        messages.push_back(message);
        if (messages.size() == 1) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t ignored = ::write(readiness, &one, sizeof one);
        }
    }

    bool Take(ThreadMessage& message) {
        std::lock_guard lock(mutex);
        if (messages.empty()) return false;
        message = messages.front();
        messages.pop_front();
        if (messages.empty()) {
            uint64_t count;
            [[maybe_unused]] ssize_t ignored = ::read(readiness, &count, sizeof count);
        }
        return true;
    }

  private:
    std::mutex mutex;
    std::deque<ThreadMessage> messages;
    int readiness;
};

std::mutex registryMutex;
std::condition_variable threadEnded;
std::unordered_map<uint32_t, std::shared_ptr<Queue>>& Registry() {
    static auto* registry = new std::unordered_map<uint32_t, std::shared_ptr<Queue>>();
    return *registry;
}

uint32_t NextThreadId() {
    static std::atomic<uint32_t> next{1};
    uint32_t id;
    do {
        id = next.fetch_add(1, std::memory_order_relaxed);
    } while (id == 0 || id == 0xFFFFFFFF);
    return id;
}

std::shared_ptr<Queue> RegisterQueue(uint32_t id) {
    auto queue = std::make_shared<Queue>();
    if (!queue->Usable()) return nullptr;
    std::lock_guard lock(registryMutex);
    Registry()[id] = queue;
    return queue;
}

void UnregisterQueue(uint32_t id) {
    std::lock_guard lock(registryMutex);
    Registry().erase(id);
    threadEnded.notify_all();
}

// The calling thread's identity; its queue leaves the registry when the thread ends.
struct CurrentThread {
    uint32_t id = 0;
    std::shared_ptr<Queue> queue;
    ~CurrentThread() {
        if (id != 0) UnregisterQueue(id);
    }
};
thread_local CurrentThread current;

CurrentThread& Current() {
    if (current.id == 0) {
        current.id = NextThreadId();
        current.queue = RegisterQueue(current.id);
    }
    return current;
}

struct StartRecord {
    ThreadEntry entry;
    void* argument;
    uint32_t id;
    std::shared_ptr<Queue> queue;
};

void* RunThread(void* raw) {
    std::unique_ptr<StartRecord> start(static_cast<StartRecord*>(raw));
    current.id = start->id;
    current.queue = std::move(start->queue);
    const ThreadEntry entry = start->entry;
    void* argument = start->argument;
    start.reset();
    entry(argument);
    return nullptr;
}

}  // namespace

bool CreateThread(ThreadEntry entry, void* argument, uint32_t* threadId) {
    const uint32_t id = NextThreadId();
    auto queue = RegisterQueue(id);
    if (!queue) {
        SetLastErrorFromErrno(errno, ErrorDomain::kFile);
        return false;
    }
    // The identifier is in place before the thread can read it.
    if (threadId != nullptr) *threadId = id;
    auto* start = new StartRecord{entry, argument, id, std::move(queue)};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int error = ::pthread_create(&thread, &attributes, RunThread, start);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete start;
        UnregisterQueue(id);
        SetLastErrorCode(error == EAGAIN ? kErrorNotEnoughMemory : 1);
        return false;
    }
    return true;
}

uint32_t GetCurrentThreadId() {
    return Current().id;
}

bool PostThreadMessage(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::shared_ptr<Queue> queue;
    {
        std::lock_guard lock(registryMutex);
        const auto found = Registry().find(threadId);
        if (found != Registry().end()) queue = found->second;
    }
    if (!queue) {
        SetLastErrorCode(kErrorInvalidThreadId);
        return false;
    }
    queue->Post({message, wParam, lParam});
    return true;
}

bool PeekThreadMessage(ThreadMessage& message) {
    const auto& queue = Current().queue;
    return queue && queue->Take(message);
}

bool WaitForThreadEnd(uint32_t threadId, uint32_t timeoutMs) {
    const auto running = [&] { return Registry().count(threadId) != 0; };
    std::unique_lock lock(registryMutex);
    if (timeoutMs == kInfinite) {
        threadEnded.wait(lock, [&] { return !running(); });
        return true;
    }
    return threadEnded.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return !running(); });
}

void SleepMilliseconds(uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

namespace detail {
int CurrentQueueReadiness() {
    const auto& queue = Current().queue;
    return queue ? queue->Readiness() : -1;
}
}  // namespace detail

}  // namespace platform
