// Tempo detection on 10,000 note-ons of a humanised performance, against sorting the same
// note-ons by sample time, in the same run.

#include "TempoDetector.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

constexpr float rate = 48000.0f;

/// Bass on every beat, a three-note chord on beats two and four, a melody of quarters and
/// eighths; every note up to 15 ms early or late.
std::vector<Corvel::NoteOnset> performance(std::size_t count)
{
    std::mt19937 rng(20261207);
    std::uniform_real_distribution<double> jitter(-0.015, 0.015);
    const double beat = 60.0 / 123.0;
    std::vector<Corvel::NoteOnset> notes;
    const auto add = [&](double beats, std::uint8_t note) {
        notes.push_back({std::llround((beats * beat + jitter(rng)) * rate), note, 0});
    };
    for (int b = 0; notes.size() < count; ++b) {
        add(b, 40);
        if (b % 2 == 1)
            for (std::uint8_t n : {60, 64, 67})
                add(b, n);
        add(b, 72);
        if (rng() % 2 == 0)
            add(b + 0.5, 74);
    }
    notes.resize(count);
    return notes;
}

void BM_TempoDetection(benchmark::State& state)
{
    const auto notes = performance(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Corvel::TempoDetector::estimate(notes, rate));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TempoDetection)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_SortingTheNoteOns(benchmark::State& state)
{
    auto notes = performance(static_cast<std::size_t>(state.range(0)));
    std::shuffle(notes.begin(), notes.end(), std::mt19937(7));
    for (auto _ : state) {
        auto sorted = notes;
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& a, const auto& b) { return a.sampleTime < b.sampleTime; });
        benchmark::DoNotOptimize(sorted.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SortingTheNoteOns)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
