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
    bool musicalContext(double& t, double& b) noexcept override
    {
        t = 120.0;
        b = beat;
        return true;
    }
    bool transportState(std::uint64_t& f) noexcept override
    {
        f = Corvel::TransportStateMoving;
        return true;
    }
    void sendMidi(std::int64_t, std::uint8_t, std::uint16_t, const std::uint8_t*) noexcept override { ++sent; }
    void sendMidiEvents(std::span<const Corvel::RenderEvent> events) noexcept override { sent += events.size(); }
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
    kernel.setMidiOutput(state.range(1) ? &host : nullptr);
    kernel.setSampleRate(48000.0f);

    std::vector<Corvel::RenderEvent> events = cycleEvents(0, perCycle);
    std::int64_t now = 0;
    std::int64_t cycles = 0;
    const std::int64_t drainEvery = SondrelBench::cyclesPerDrain(perCycle);
    for (auto _ : state) {
        // Sample times keep rising, so the live recording only grows.
        for (auto& e : events)
            e.sampleTime += framesPerCycle;
        now += framesPerCycle;
        benchmark::DoNotOptimize(kernel.process(now, static_cast<std::uint32_t>(framesPerCycle), events));
        // The consumer side is not the render thread's cost: outside the timing, empty the
        // queue the way the ring buffer below is emptied, without building recordings (whose
        // hundreds of megabytes would only measure the cache misses they cause).
        if (++cycles % drainEvery == 0) {
            state.PauseTiming();
            kernel.midiRecorder->queue().drain([](const Corvel::RecorderOp&) {});
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * perCycle);
    state.counters["slow_paths"] = static_cast<double>(kernel.midiRecorder->slowPathCount());
}
BENCHMARK(BM_KernelRecording)->ArgsProduct({{0, 1, 16, 256}, {0, 1}});

void BM_RingBufferCopy(benchmark::State& state) { SondrelBench::runRingBaseline(state, framesPerCycle); }
BENCHMARK(BM_RingBufferCopy)->Arg(0)->Arg(1)->Arg(16)->Arg(256);

}  // namespace

BENCHMARK_MAIN();
