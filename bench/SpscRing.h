#pragma once

// The baseline for render-path costs: copying an event into a preallocated single-producer,
// single-consumer ring buffer, the least any lock-free hand-off can do.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace SondrelBench {

struct Event32 {
    std::int64_t sampleTime;
    double bpm;
    double beatPosition;
    std::uint8_t bytes[8];
};
static_assert(sizeof(Event32) == 32);

class SpscRing {
public:
    explicit SpscRing(std::size_t capacityPowerOfTwo) : slots(capacityPowerOfTwo), mask(capacityPowerOfTwo - 1) {}

    /// Copies a cycle's events and publishes them once, as a render thread would.
    std::size_t pushCycle(const Event32* events, std::size_t count) noexcept
    {
        const auto w = write.load(std::memory_order_relaxed);
        const auto room = slots.size() - (w - read.load(std::memory_order_acquire));
        const auto n = count < room ? count : room;
        for (std::size_t i = 0; i < n; ++i)
            slots[(w + i) & mask] = events[i];
        write.store(w + n, std::memory_order_release);
        return n;
    }

    bool push(const Event32& e) noexcept
    {
        const auto w = write.load(std::memory_order_relaxed);
        if (w - read.load(std::memory_order_acquire) == slots.size())
            return false;
        slots[w & mask] = e;
        write.store(w + 1, std::memory_order_release);
        return true;
    }
    std::size_t drain() noexcept
    {
        const auto w = write.load(std::memory_order_acquire);
        const auto n = w - read.load(std::memory_order_relaxed);
        read.store(w, std::memory_order_release);
        return n;
    }

private:
    std::vector<Event32> slots;
    std::size_t mask;
    alignas(64) std::atomic<std::size_t> write{0};
    alignas(64) std::atomic<std::size_t> read{0};
};

} // namespace SondrelBench
