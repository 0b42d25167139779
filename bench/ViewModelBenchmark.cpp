// One tick of the window's model while a 1,000,000-event live recording is selected and grows
// by 16 events per tick: the rows are appended to, against rebuilding them from the whole
// recording on every tick, in the same run.

#include "MidiSondrelPlugin.h"
#include "PluginBlocks.h"
#include "Settings.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace juce {
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
}

namespace {

using SondrelBench::blockOf;
using SondrelBench::blockSize;
using PlayHead = SondrelBench::PlayingHead;

constexpr std::int64_t recordingSize = 1'000'000;

void pumpMessages()
{
    while (juce::dispatchNextMessageOnSystemQueue(true)) {
    }
}

/// The plug-in with a selected live recording of a million events, rows loaded.
struct Session {
    juce::ScopedJuceInitialiser_GUI juce;
    std::unique_ptr<juce::AudioProcessor> processor{createPluginFilter()};
    MidiSondrelPlugin& unit = dynamic_cast<MidiSondrelPlugin&>(*processor);
    Settings& settings = unit.settings();
    PlayHead head;
    juce::AudioBuffer<float> audio{2, blockSize};
    juce::MidiBuffer sixteen = blockOf(16);

    Session()
    {
        settings.live.stopPolling();
        settings.updates.setUpdateServer("http://127.0.0.1:9");
        processor->setPlayHead(&head);
        processor->prepareToPlay(48000.0, blockSize);
        juce::MidiBuffer many = blockOf(500);
        for (std::int64_t n = 0; n < recordingSize; n += 500) {
            render(many);
            if ((n / 500) % 64 == 0)
                unit.kernel().midiRecorder->drain();
        }
        tick();
    }

    void render(juce::MidiBuffer& midi)
    {
        processor->processBlock(audio, midi);
        head.time += blockSize;
    }

    void tick()
    {
        settings.live.pollKernel();
        pumpMessages();
    }
};

void run(benchmark::State& state, bool rebuildEveryTick)
{
    Session session;
    const auto before = session.settings.live.selectedRecordingEvents.peek().size();
    for (auto _ : state) {
        state.PauseTiming();
        session.render(session.sixteen);  // the audio thread's part is not the tick's cost
        if (rebuildEveryTick)
            session.settings.live.selectedRecordingEvents.set({});
        state.ResumeTiming();
        session.tick();
    }
    const auto after = session.settings.live.selectedRecordingEvents.peek().size();
    if (after != before + 16 * static_cast<std::size_t>(state.iterations()))
        state.SkipWithError("the rows do not match the recording");
    state.counters["rows"] = static_cast<double>(after);
}

void BM_TickAppendingRows(benchmark::State& state) { run(state, false); }
void BM_TickRebuildingRows(benchmark::State& state) { run(state, true); }

}  // namespace

BENCHMARK(BM_TickAppendingRows)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_TickRebuildingRows)->Unit(benchmark::kMicrosecond)->Iterations(20);
BENCHMARK_MAIN();
