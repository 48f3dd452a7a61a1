// A time limit for poll loops that may wake early (EINTR, a readiness that yields nothing).
#pragma once

#include <chrono>
#include <climits>
#include <cstdint>

namespace platform::detail {

class Deadline {
  public:
    // infiniteMs: the value of timeoutMs that means "no limit".
    Deadline(uint32_t timeoutMs, uint32_t infiniteMs)
        : infinite(timeoutMs == infiniteMs),
          end(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

    // What poll takes as its time-out now: -1 for no limit, else the milliseconds left.
    int PollTimeout() const {
        if (infinite) return -1;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) return 0;
        return left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }

  private:
    bool infinite;
    std::chrono::steady_clock::time_point end;
};

}  // namespace platform::detail
