#pragma once

// The baseline for render-path costs: copying an event into a preallocated single-producer,
// single-consumer ring buffer, the least any lock-free hand-off can do.

#include "RecorderQueue.h"

#include <benchmark/benchmark.h>

#include <algorithm>
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

/// Cycles between two drains of the kernel's queue: as many as fit into its preallocated
/// blocks, so that the paused drain costs next to nothing per cycle and nothing takes the
/// queue's slow path.
inline std::int64_t cyclesPerDrain(int eventsPerCycle)
{
    constexpr auto room = static_cast<std::int64_t>(Corvel::RecorderQueue::blockCapacity
                                                    * (Corvel::RecorderQueue::preallocatedBlocks - 1));
    return std::max<std::int64_t>(1, room / (eventsPerCycle + 2));
}

/// The baseline benchmark: per cycle, copy `state.range(0)` events into the ring and publish
/// them once; empty the ring (untimed) as often as the measured code is drained.
inline void runRingBaseline(benchmark::State& state, std::int64_t framesPerCycle)
{
    const int perCycle = static_cast<int>(state.range(0));
    SpscRing ring(1 << 16);
    std::vector<Event32> events(static_cast<std::size_t>(perCycle));
    for (int i = 0; i < perCycle; ++i)
        events[static_cast<std::size_t>(i)] = {i, 120.0, i * 0.01, {0x90, 60, 100}};
    std::int64_t cycles = 0;
    const std::int64_t drainEvery = cyclesPerDrain(perCycle);
    for (auto _ : state) {
        for (auto& e : events)
            e.sampleTime += framesPerCycle;
        benchmark::DoNotOptimize(ring.pushCycle(events.data(), events.size()));
        if (++cycles % drainEvery == 0) {
            state.PauseTiming();
            ring.drain();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * perCycle);
}

}  // namespace SondrelBench
