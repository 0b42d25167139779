// Render cost of the kernel per event while recording, against the cost of copying the same
// events into a preallocated ring buffer, in the same run.

#include "MidiProcessor.h"
#include "SpscRing.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct Host final : Corvel::MusicalContextSource, Corvel::TransportStateSource, Corvel::MidiOutput {
    double beat = 0.0;
    std::uint64_t sent = 0;
    bool musicalContext(double& t, double& b) noexcept override { t = 120.0; b = beat; return true; }
    bool transportState(std::uint64_t& f) noexcept override { f = Corvel::TransportStateMoving; return true; }
    void sendMidi(std::int64_t, std::uint8_t, std::uint16_t, const std::uint8_t*) noexcept override { ++sent; }
};

constexpr std::int64_t framesPerCycle = 256;

std::vector<Corvel::RenderEvent> cycleEvents(std::int64_t start, int count)
{
    std::vector<Corvel::RenderEvent> events;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(i % 2 ? 0x80 : 0x90),
                                       static_cast<std::uint8_t>(36 + i % 48), 100};
        events.push_back(Corvel::RenderEvent::midi(start + (i * framesPerCycle) / std::max(count, 1), bytes, 3));
    }
    return events;
}

void BM_KernelRecording(benchmark::State& state)
{
    const int perCycle = static_cast<int>(state.range(0));
    Host host;
    Corvel::MidiProcessor kernel;
    kernel.setMusicalContextSource(&host);
    kernel.setTransportStateSource(&host);
    kernel.setMidiOutput(&host);
    kernel.setSampleRate(48000.0f);

    std::vector<Corvel::RenderEvent> events = cycleEvents(0, perCycle);
    std::int64_t now = 0;
    std::int64_t cycles = 0;
    for (auto _ : state) {
        // Sample times keep rising, so the live recording only grows.
        for (auto& e : events)
            e.sampleTime += framesPerCycle;
        now += framesPerCycle;
        benchmark::DoNotOptimize(kernel.process(now, events));
        // The window's poll drains the queue 60 times a second; do it outside the timing.
        if (++cycles % 64 == 0) {
            state.PauseTiming();
            kernel.midiRecorder->drain();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * perCycle);
    state.counters["slow_paths"] = static_cast<double>(kernel.midiRecorder->slowPathCount());
}
BENCHMARK(BM_KernelRecording)->Arg(0)->Arg(1)->Arg(16)->Arg(256);

void BM_RingBufferCopy(benchmark::State& state)
{
    const int perCycle = static_cast<int>(state.range(0));
    SondrelBench::SpscRing ring(1 << 16);
    std::vector<SondrelBench::Event32> events(static_cast<std::size_t>(perCycle));
    for (int i = 0; i < perCycle; ++i)
        events[static_cast<std::size_t>(i)] = {i, 120.0, i * 0.01, {0x90, 60, 100}};
    std::int64_t cycles = 0;
    for (auto _ : state) {
        for (auto& e : events) {
            e.sampleTime += framesPerCycle;
            benchmark::DoNotOptimize(ring.push(e));
        }
        if (++cycles % 64 == 0) {
            state.PauseTiming();
            ring.drain();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * perCycle);
}
BENCHMARK(BM_RingBufferCopy)->Arg(1)->Arg(16)->Arg(256);

} // namespace

BENCHMARK_MAIN();
