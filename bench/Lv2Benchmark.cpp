// The LV2 entry point's run() while recording, per event at 16 and 256 events a cycle (a position
// object in every cycle, as Ardour sends it), beside processBlock and the ring-buffer push of
// PluginBenchmark.cpp in the same run; and an idle cycle (transport rolling, no events) beside
// what lilv's lv2bench measures per cycle for x42's MIDI filters and for this plug-in.

#include "Lv2Plugin.h"
#include "MidiSondrelPlugin.h"
#include "Settings.h"
#include "SpscRing.h"

#include <lv2/atom/forge.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr std::uint32_t cycle = 512;

/// The plug-in as an LV2 host runs it, with a cycle's input forged once; the frame of its position
/// object moves on by a cycle each time.
class Lv2Rig {
public:
    explicit Lv2Rig(int events)
    {
        lv2_atom_forge_init(&forge, &map);
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(input.data()), sizeof input);
        LV2_Atom_Forge_Frame sequence;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        lv2_atom_forge_frame_time(&forge, 0);
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_object(&forge, &object, 0, urid(LV2_TIME__Position));
        lv2_atom_forge_key(&forge, urid(LV2_TIME__frame));
        frame = &reinterpret_cast<LV2_Atom_Long*>(lv2_atom_forge_deref(&forge, lv2_atom_forge_long(&forge, 0)))->body;
        lv2_atom_forge_key(&forge, urid(LV2_TIME__speed));
        lv2_atom_forge_float(&forge, 1.0f);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__bar));
        lv2_atom_forge_long(&forge, 0);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__barBeat));
        lv2_atom_forge_float(&forge, 0.0f);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&forge, 120.0f);
        lv2_atom_forge_pop(&forge, &object);
        for (int i = 0; i < events; ++i) {
            const std::uint8_t bytes[3] = {std::uint8_t(i % 2 ? 0x80 : 0x90), std::uint8_t(36 + i % 48), 100};
            lv2_atom_forge_frame_time(&forge, i * std::int64_t{cycle} / events);
            lv2_atom_forge_atom(&forge, 3, urid(LV2_MIDI__MidiEvent));
            lv2_atom_forge_write(&forge, bytes, 3);
        }
        lv2_atom_forge_pop(&forge, &sequence);
        plugin.connectPort(Lv2Plugin::inputPort, input.data());
        plugin.connectPort(Lv2Plugin::outputPort, output.data());
        plugin.connectPort(Lv2Plugin::pagePort, &page);
        plugin.activate();
        // The window's poll drains only where the benchmark pauses, as in PluginBenchmark.cpp.
        plugin.call([this] { plugin.audioUnit().settings().live.stopPolling(); });
    }

    // The host's part of a cycle and the plug-in's run.
    void run() noexcept
    {
        *frame += cycle;
        reinterpret_cast<LV2_Atom*>(output.data())->size = sizeof output - sizeof(LV2_Atom);
        plugin.run(cycle);
    }

    /// Untimed: what the window's poll does first, taking in what the render thread recorded,
    /// here on the benchmark's thread as PluginBenchmark.cpp does (the poll is stopped, so the
    /// recordings have this one reader), and a jump back of the host, so that five takes of
    /// bounded size are kept.
    void drainAndJumpBack()
    {
        plugin.audioUnit().kernel().midiRecorder->drain();
        *frame = 0;
    }

    std::uint32_t eventsOut() const { return reinterpret_cast<const LV2_Atom*>(output.data())->size; }
    MidiSondrelPlugin& unit() { return plugin.audioUnit(); }

private:
    LV2_URID urid(const char* uri)
    {
        return uris.try_emplace(uri, static_cast<LV2_URID>(uris.size() + 1)).first->second;
    }
    static LV2_URID mapUri(LV2_URID_Map_Handle h, const char* uri) { return static_cast<Lv2Rig*>(h)->urid(uri); }

    std::map<std::string, LV2_URID> uris;
    LV2_URID_Map map{this, mapUri};
    LV2_Atom_Forge forge;
    alignas(8) std::array<std::uint64_t, 8192> input{};
    alignas(8) std::array<std::uint64_t, 8192> output{};
    float page = 0.0f;
    std::int64_t* frame = nullptr;
    Lv2Plugin plugin{48000.0, map};
};

void BM_Lv2RunRecording(benchmark::State& state)
{
    const int events = static_cast<int>(state.range(0));
    Lv2Rig rig(events);
    const std::int64_t cyclesPerDrain = SondrelBench::cyclesPerDrain(events);
    std::int64_t cycles = 0;
    for (auto _ : state) {
        rig.run();
        if (++cycles % cyclesPerDrain == 0) {
            state.PauseTiming();
            rig.drainAndJumpBack();
            state.ResumeTiming();
        }
    }
    if (rig.eventsOut() != sizeof(LV2_Atom_Sequence_Body) + std::uint32_t(events) * 24)
        state.SkipWithError("MIDI did not come through");
    state.SetItemsProcessed(state.iterations() * events);
    state.counters["slow_paths"] = static_cast<double>(rig.unit().kernel().midiRecorder->slowPathCount());
}
BENCHMARK(BM_Lv2RunRecording)->Arg(16)->Arg(256);

// A cycle with the transport rolling and nothing played: the cost of being there.
void BM_Lv2RunIdleRolling(benchmark::State& state)
{
    Lv2Rig rig(0);
    for (auto _ : state)
        rig.run();
}
BENCHMARK(BM_Lv2RunIdleRolling);

// What lilv's lv2bench measures per cycle of `cycle` frames (no events, no position) for a plug-in:
// x42's MIDI pass-through and transposer, and ours.
void BM_Lv2bench(benchmark::State& state, const char* path, const char* uri)
{
    constexpr int cycles = 20000;
    const std::string command = "LV2_PATH='" + std::string(path) + "' lv2bench -b " + std::to_string(cycle) + " -n "
        + std::to_string(cycles * cycle) + " '" + uri + "' 2>/dev/null";
    for (auto _ : state) {
        double seconds = -1.0;
        if (FILE* out = popen(command.c_str(), "r")) {
            char line[512];
            while (std::fgets(line, sizeof line, out) != nullptr)
                std::sscanf(line, "%lf", &seconds);
            pclose(out);
        }
        if (seconds < 0.0) {
            state.SkipWithError("lv2bench did not run the plug-in");
            return;
        }
        state.SetIterationTime(seconds / cycles);
    }
}
BENCHMARK_CAPTURE(BM_Lv2bench, x42_passthru, "/usr/lib/lv2", "http://gareus.org/oss/lv2/midifilter#passthru")
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Lv2bench, x42_miditranspose, "/usr/lib/lv2", "http://gareus.org/oss/lv2/midifilter#miditranspose")
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Lv2bench, midi_sondrel, SONDREL_LV2_BUNDLES, SONDREL_LV2_URI)->UseManualTime()->Iterations(1);

}  // namespace
