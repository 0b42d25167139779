// Audio-thread cost of the plug-in's processBlock per event while recording, at 16 and 256
// events per block, against pushing the same events into a preallocated ring buffer and
// against copying a block event by event with MidiBuffer::addEvent, in the same run (and, in
// Lv2Benchmark.cpp, the LV2 entry point's run()).

#include "MidiSondrelPlugin.h"
#include "PluginBlocks.h"
#include "Settings.h"
#include "SpscRing.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using SondrelBench::blockOf;
using SondrelBench::blockSize;
using PlayHead = SondrelBench::PlayingHead;

void BM_ProcessBlockRecording(benchmark::State& state)
{
    const int events = static_cast<int>(state.range(0));
    juce::ScopedJuceInitialiser_GUI juce;
    std::unique_ptr<juce::AudioProcessor> processor(createPluginFilter());
    auto& unit = dynamic_cast<MidiSondrelPlugin&>(*processor);
    PlayHead head;
    processor->setPlayHead(&head);
    processor->prepareToPlay(48000.0, blockSize);
    juce::AudioBuffer<float> audio(2, blockSize);
    // The plug-in gives back exactly what it was given, so the same buffer serves every block.
    juce::MidiBuffer midi = blockOf(events);
    const std::int64_t blocksPerPoll = SondrelBench::cyclesPerDrain(events);
    std::int64_t blocks = 0;
    for (auto _ : state) {
        head.time += blockSize;
        processor->processBlock(audio, midi);
        benchmark::DoNotOptimize(midi);
        if (++blocks % blocksPerPoll == 0) {
            // The window's poll, on the message thread: not the audio thread's cost. Then the
            // host loops back, so that five recordings of bounded size are kept, not gigabytes.
            state.PauseTiming();
            unit.settings().live.pollKernel();
            head.time = 0;
            state.ResumeTiming();
        }
    }
    if (midi.getNumEvents() != events)
        state.SkipWithError("MIDI did not come through");
    state.SetItemsProcessed(state.iterations() * events);
    state.counters["slow_paths"] = static_cast<double>(unit.kernel().midiRecorder->slowPathCount());
}
BENCHMARK(BM_ProcessBlockRecording)->Arg(16)->Arg(256);

void BM_RingBufferPush(benchmark::State& state) { SondrelBench::runRingBaseline(state, blockSize); }
BENCHMARK(BM_RingBufferPush)->Arg(16)->Arg(256);

void BM_MidiBufferAddEventCopy(benchmark::State& state)
{
    const juce::MidiBuffer input = blockOf(static_cast<int>(state.range(0)));
    juce::MidiBuffer output;
    output.ensureSize(static_cast<size_t>(input.getNumEvents()) * 16);
    for (auto _ : state) {
        output.clear();
        for (const auto m : input)
            output.addEvent(m.data, m.numBytes, m.samplePosition);
        benchmark::DoNotOptimize(output);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MidiBufferAddEventCopy)->Arg(16)->Arg(256);

}  // namespace

BENCHMARK_MAIN();
