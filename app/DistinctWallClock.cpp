#include "DistinctWallClock.h"

#include <atomic>
#include <chrono>

std::int64_t distinctWallClockMilliseconds() noexcept
{
    using namespace std::chrono;
    // The kernel takes its clock as a plain function, so the last value handed out is the one
    // piece of process-wide state this needs.
    static std::atomic<std::int64_t> lastIssued{0};
    const std::int64_t now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    std::int64_t last = lastIssued.load(std::memory_order_relaxed);
    std::int64_t next = 0;
    do {
        next = now > last ? now : last + 1;
    } while (!lastIssued.compare_exchange_weak(last, next, std::memory_order_relaxed));
    return next;
}
