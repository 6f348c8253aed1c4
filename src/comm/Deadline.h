#pragma once

#include <chrono>
#include <cstdint>

// A point on the monotonic clock that bounds one wait, so that a loop of
// several system waits never adds up to more than the time it was given.
class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    // A deadline timeoutMs from now; a negative value is treated as 0.
    explicit Deadline(int64_t timeoutMs)
        : end(Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0)) {}

    // Milliseconds left, rounded up so that a wait never ends early; 0 when expired.
    int32_t RemainingMs() const {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return 0;
        return left > INT32_MAX ? INT32_MAX : static_cast<int32_t>(left);
    }

    bool Expired() const { return Clock::now() >= end; }

private:
    Clock::time_point end;
};
