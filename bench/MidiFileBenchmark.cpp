// Writing a Standard MIDI File of 1,000,000 events; when built with JUCE, against JUCE's
// MidiFile end to end (sequence, track, write) and against its writeTo step alone.

#include "MIDIRecorder.h"

#include <benchmark/benchmark.h>

#include <vector>

#if SONDREL_COMPARE_WITH_JUCE
#include <juce_audio_basics/juce_audio_basics.h>
#endif

namespace {

constexpr int eventCount = 1'000'000;

const std::vector<Corvel::RecordedMIDIEvent>& recording()
{
    static const std::vector<Corvel::RecordedMIDIEvent> events = [] {
        std::vector<Corvel::RecordedMIDIEvent> e;
        e.reserve(eventCount);
        e.push_back({{0xC0, 0x00}, 0, 120.0, 0.0});
        for (int i = 1; i < eventCount; ++i) {
            const std::uint8_t status = (i % 3 == 0) ? 0xB0 : (i % 2 ? 0x90 : 0x80);
            e.push_back({{status, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i % 100 + 1)},
                         static_cast<std::int64_t>(i) * 1000,
                         120.0,
                         i * 0.0417});
        }
        return e;
    }();
    return events;
}

void BM_ConvertToMIDIBytes(benchmark::State& state)
{
    const auto& events = recording();
    for (auto _ : state)
        benchmark::DoNotOptimize(Corvel::MIDIRecorder::convertToMIDIBytes(events));
    state.SetItemsProcessed(state.iterations() * eventCount);
}
BENCHMARK(BM_ConvertToMIDIBytes)->Unit(benchmark::kMillisecond);

#if SONDREL_COMPARE_WITH_JUCE

juce::MidiFile juceFileFor(const std::vector<Corvel::RecordedMIDIEvent>& events)
{
    juce::MidiMessageSequence sequence;
    for (const auto& e : events) {
        const double tick = std::round(e.beatPosition * 480.0);
        sequence.addEvent(juce::MidiMessage(e.data.data(), static_cast<int>(e.data.size()), tick));
    }
    juce::MidiFile file;
    file.setTicksPerQuarterNote(480);
    file.addTrack(sequence);
    return file;
}

void BM_JuceMidiFileEndToEnd(benchmark::State& state)
{
    const auto& events = recording();
    for (auto _ : state) {
        const juce::MidiFile file = juceFileFor(events);
        juce::MemoryOutputStream out;
        file.writeTo(out, 0);
        benchmark::DoNotOptimize(out.getData());
    }
    state.SetItemsProcessed(state.iterations() * eventCount);
}
BENCHMARK(BM_JuceMidiFileEndToEnd)->Unit(benchmark::kMillisecond);

void BM_JuceMidiFileWriteToOnly(benchmark::State& state)
{
    const juce::MidiFile file = juceFileFor(recording());
    for (auto _ : state) {
        juce::MemoryOutputStream out;
        file.writeTo(out, 0);
        benchmark::DoNotOptimize(out.getData());
    }
    state.SetItemsProcessed(state.iterations() * eventCount);
}
BENCHMARK(BM_JuceMidiFileWriteToOnly)->Unit(benchmark::kMillisecond);

#endif

}  // namespace

BENCHMARK_MAIN();
