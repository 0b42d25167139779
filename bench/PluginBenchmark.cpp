// Audio-thread cost of the plug-in's processBlock per event while recording, at 16 and 256
// events per block, against pushing the same events into a preallocated ring buffer and
// against copying a block event by event with MidiBuffer::addEvent, in the same run.

#include "MidiSondrelAudioUnit.h"
#include "Settings.h"
#include "SpscRing.h"

#include <benchmark/benchmark.h>

#include <memory>

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter();

namespace {

constexpr int blockSize = 512;

struct PlayHead final : juce::AudioPlayHead {
    std::int64_t time = 0;
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo p;
        p.setTimeInSamples(time);
        p.setPpqPosition(static_cast<double>(time) / 24000.0);
        p.setBpm(120.0);
        p.setIsPlaying(true);
        return p;
    }
};

juce::MidiBuffer blockOf(int events)
{
    juce::MidiBuffer midi;
    for (int i = 0; i < events; ++i) {
        const juce::uint8 bytes[3] = {static_cast<juce::uint8>(i % 2 ? 0x80 : 0x90), static_cast<juce::uint8>(36 + i % 48), 100};
        midi.addEvent(bytes, 3, i * blockSize / events);
    }
    return midi;
}

void BM_ProcessBlockRecording(benchmark::State& state)
{
    const int events = static_cast<int>(state.range(0));
    juce::ScopedJuceInitialiser_GUI juce;
    std::unique_ptr<juce::AudioProcessor> processor(createPluginFilter());
    auto& unit = dynamic_cast<MidiSondrelAudioUnit&>(*processor);
    PlayHead head;
    processor->setPlayHead(&head);
    processor->prepareToPlay(48000.0, blockSize);
    juce::AudioBuffer<float> audio(2, blockSize);
    const juce::MidiBuffer input = blockOf(events);
    juce::MidiBuffer midi;
    midi.ensureSize(static_cast<size_t>(input.data.size()) * 2);
    std::int64_t blocks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        midi.data.clearQuick();
        midi.data.addArray(input.data);  // the host's buffer for this block
        head.time += blockSize;
        if (++blocks % 64 == 0)
            unit.settings()->poll();  // the 60 Hz poll, outside the audio thread's cost
        state.ResumeTiming();
        processor->processBlock(audio, midi);
        benchmark::DoNotOptimize(midi.data.getRawDataPointer());
    }
    state.SetItemsProcessed(state.iterations() * events);
    state.counters["slow_paths"] = static_cast<double>(unit.kernel().midiRecorder->slowPathCount());
    state.counters["output_growths"] = unit.renderAdapter().bufferGrowths();
}
BENCHMARK(BM_ProcessBlockRecording)->Arg(16)->Arg(256);

void BM_RingBufferPush(benchmark::State& state)
{
    const int events = static_cast<int>(state.range(0));
    SondrelBench::SpscRing ring(1 << 16);
    std::vector<SondrelBench::Event32> block(static_cast<std::size_t>(events));
    for (int i = 0; i < events; ++i)
        block[static_cast<std::size_t>(i)] = {i, 120.0, i * 0.01, {0x90, 60, 100}};
    std::int64_t blocks = 0;
    for (auto _ : state) {
        for (auto& e : block)
            e.sampleTime += blockSize;
        benchmark::DoNotOptimize(ring.pushCycle(block.data(), block.size()));
        if (++blocks % 64 == 0) {
            state.PauseTiming();
            ring.drain();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * events);
}
BENCHMARK(BM_RingBufferPush)->Arg(16)->Arg(256);

void BM_MidiBufferAddEventCopy(benchmark::State& state)
{
    const juce::MidiBuffer input = blockOf(static_cast<int>(state.range(0)));
    juce::MidiBuffer output;
    output.ensureSize(static_cast<size_t>(input.data.size()) * 2);
    for (auto _ : state) {
        output.clear();
        for (const auto m : input)
            output.addEvent(m.data, m.numBytes, m.samplePosition);
        benchmark::DoNotOptimize(output.data.getRawDataPointer());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MidiBufferAddEventCopy)->Arg(16)->Arg(256);

} // namespace

BENCHMARK_MAIN();
