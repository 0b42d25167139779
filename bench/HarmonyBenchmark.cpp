// Chord detection and scale guessing per call for 3-, 4- and 7-note sets.

#include "NoteDetector.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

Corvel::HeldNotes heldSet(int size)
{
    static const std::vector<std::vector<int>> sets = {
        {},
        {},
        {},
        {60, 64, 67},      // C major triad
        {57, 60, 64, 67},  // A minor 7
        {},
        {},
        {60, 62, 64, 65, 67, 69, 71},  // C major scale
    };
    Corvel::HeldNotes held{};
    for (int n : sets[static_cast<std::size_t>(size)])
        held[static_cast<std::size_t>(n)] = true;
    return held;
}

void BM_DetectChordInformation(benchmark::State& state)
{
    Corvel::NoteDetector detector;
    const Corvel::HeldNotes held = heldSet(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(detector.detectChordInformation(held.data()));
}
BENCHMARK(BM_DetectChordInformation)->Arg(3)->Arg(4)->Arg(7);

void BM_GuessScale(benchmark::State& state)
{
    const Corvel::HeldNotes held = heldSet(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Corvel::NoteDetector::guessScale(held.data()));
}
BENCHMARK(BM_GuessScale)->Arg(3)->Arg(4)->Arg(7);

}  // namespace

BENCHMARK_MAIN();
