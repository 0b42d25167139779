// Memory held per stored event with 1,000,000 events in one recording, counted by a replaced
// global operator new, against a plain event record with a heap-allocated byte vector.

#include "MIDIRecorder.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <vector>

namespace {
std::atomic<long long> liveBytes{0};

void release(void* p) noexcept
{
    if (p != nullptr)
        liveBytes.fetch_sub(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr)
        throw std::bad_alloc();
    liveBytes.fetch_add(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
    return p;
}
void operator delete(void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }

namespace {

constexpr int eventCount = 1'000'000;

struct VectorEvent {  // the naive layout: a heap byte vector per event
    std::vector<std::uint8_t> data;
    std::int64_t sampleTime;
    double bpm;
    double beatPosition;
};

void BM_RecordingMemoryPerEvent(benchmark::State& state)
{
    for (auto _ : state) {
        const long long before = liveBytes.load();
        Corvel::MIDIRecorder recorder(1, true);
        recorder.setTempo(120.0);
        recorder.initialiseRecording(0, 1);
        for (int i = 1; i < eventCount; ++i)
            recorder.appendToLiveRecording({{0x90, static_cast<std::uint8_t>(i % 128), 64}, i * 100, 120.0, i * 0.05});
        const long long held = liveBytes.load() - before;
        state.counters["bytes_per_event"] = static_cast<double>(held) / eventCount;
        benchmark::DoNotOptimize(recorder);
    }
}
BENCHMARK(BM_RecordingMemoryPerEvent)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_BaselineVectorPerEvent(benchmark::State& state)
{
    for (auto _ : state) {
        const long long before = liveBytes.load();
        std::vector<VectorEvent> events;
        events.reserve(eventCount);  // exact size, so only the per-event cost is counted
        for (int i = 0; i < eventCount; ++i)
            events.push_back({{0x90, static_cast<std::uint8_t>(i % 128), 64}, i * 100, 120.0, i * 0.05});
        const long long held = liveBytes.load() - before;
        state.counters["bytes_per_event"] = static_cast<double>(held) / eventCount;
        benchmark::DoNotOptimize(events);
    }
}
BENCHMARK(BM_BaselineVectorPerEvent)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
