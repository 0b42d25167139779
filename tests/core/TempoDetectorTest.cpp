// Tempo detection on generated performances (steady, humanised with notes up to 15 ms early or
// late, with rests, with swing; within 2 %, half or double is wrong).

#include "TempoDetector.h"
#include "KernelHarness.h"
#include "MidiFileReader.h"
#include "MidiFileWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using Corvel::NoteOnset;
using Corvel::TempoDetector;

namespace {

constexpr float rate = 48000.0f;

enum class Kind { steady, humanised, rests, swing };

/// Twelve bars of 4/4 from two seconds on: a left hand (bass on one and three with chords on two
/// and four, or a chord on every beat) under a melody of quarters, eighths and longer notes.
std::vector<NoteOnset> perform(double bpm, Kind kind, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-0.015, 0.015);
    std::vector<NoteOnset> notes;
    const auto play = [&](double beat, int lowest) {
        const double seconds = 2.0 + beat * 60.0 / bpm + (kind != Kind::steady ? jitter(rng) : 0.0);
        notes.push_back(
            {std::llround(seconds * rate), static_cast<std::uint8_t>(lowest + static_cast<int>(rng() % 12)), 0});
    };
    const std::vector<std::vector<double>> rhythms = {{0, 1, 2, 3}, {0, 0.5, 1, 2, 2.5, 3}, {0, 1.5, 2, 3},
                                                      {0, 2},       {0, 0.5, 1, 1.5, 2, 3}, {0, 1, 2, 2.5, 3, 3.5}};
    const bool oomPah = rng() % 2 == 0;
    for (int bar = 0; bar < 12; ++bar) {
        if (kind == Kind::rests && bar > 0 && (bar % 4 == 2 || rng() % 6 == 0))
            continue;
        for (int beat = 0; beat < 4; ++beat) {
            const double at = bar * 4 + beat;
            for (int n = 0; n < (oomPah && beat % 2 == 0 ? 1 : 3); ++n)
                play(at, oomPah ? (beat % 2 == 0 ? 36 : 52) : 48);
        }
        for (const double beat : rhythms[rng() % rhythms.size()]) {
            const bool offBeat = beat != std::floor(beat);
            if (kind != Kind::rests || rng() % 5 != 0)
                play(bar * 4 + (kind == Kind::swing && offBeat ? std::floor(beat) + 2.0 / 3.0 : beat), 67);
        }
    }
    return notes;
}

}  // namespace

TEST(TempoDetector, FindsTheTempoOfGeneratedPerformancesWithinTwoPercent)
{
    unsigned seed = 1;
    for (const Kind kind : {Kind::steady, Kind::humanised, Kind::rests, Kind::swing})
        for (const double bpm : {60, 66, 75, 84, 97, 108, 121, 133, 147, 160, 172, 185, 199}) {
            const auto found = TempoDetector::estimate(perform(bpm, kind, ++seed), rate);
            ASSERT_TRUE(found) << bpm;
            EXPECT_NEAR(found->bpm / bpm, 1.0, 0.02) << "kind " << int(kind) << " at " << bpm << " BPM";
            // On its first beat, even when its first note came early.
            EXPECT_NEAR(found->firstBeatSampleTime / rate - 2.0, 0.0, 0.02) << "kind " << int(kind) << " at " << bpm;
        }
}

TEST(TempoDetector, NeedsEightNoteOnsAPulseAndAUsableRate)
{
    // Quarter notes at 100 BPM, played as a take among note-offs and a pedal: eight are enough.
    Corvel::Recording take{1, rate, {}, true, 0};
    for (int i = 0; i < 8; ++i)
        for (const Corvel::MidiBytes& m :
             {Corvel::MidiBytes{std::uint8_t(0x90 | i), 60, 100}, {0x90, 60, 0}, {0xB0, 64, 127}})
            take.events.push_back({m, i * 28'800, 120.0, 0.0});
    const auto eight = TempoDetector::noteOnsOf(take.events);
    ASSERT_EQ(eight.size(), 8u);
    const auto found = TempoDetector::estimate(take);
    ASSERT_TRUE(found);
    EXPECT_NEAR(found->bpm, 100.0, 0.5);
    EXPECT_EQ(found->firstBeatSampleTime, 0);
    EXPECT_FALSE(TempoDetector::estimate(std::span(eight).first(7), rate));
    for (const float unusable : {0.0f, -48000.0f, NAN, INFINITY})
        EXPECT_FALSE(TempoDetector::estimate(eight, unusable)) << unusable;
    // Eight notes in two chords have no pulse.
    std::vector<NoteOnset> chords(8, NoteOnset{0, 60, 0});
    std::fill(chords.begin() + 4, chords.end(), NoteOnset{48'000, 60, 0});
    EXPECT_FALSE(TempoDetector::estimate(chords, rate));
}

// Played with the transport stopped at a host tempo of 120 BPM, a performance at 97 BPM is found
// at its own tempo, and written on request with its notes on that tempo's beats.
TEST(TempoDetector, AFreeTakeIsWrittenAtItsDetectedTempoOnRequest)
{
    SondrelTest::Rig rig;
    rig.kernel.setSampleRate(rate);
    rig.kernel.setCaptureWhileStopped(true);
    rig.host.flags = 0;
    auto notes = perform(97.0, Kind::humanised, 5);
    std::sort(notes.begin(), notes.end(), [](const auto& a, const auto& b) { return a.sampleTime < b.sampleTime; });
    // The take starts with the sustain pedal a fifth of a second before the first note.
    std::int64_t clock = notes.front().sampleTime - 9'600;
    rig.run(0, {SondrelTest::midi(0, {0xB0, 64, 127})}, 1);
    for (const NoteOnset& n : notes) {
        rig.run(0, {}, static_cast<std::uint32_t>(n.sampleTime - clock));
        rig.run(0, {SondrelTest::midi(0, {0x90, n.note, static_cast<std::uint8_t>(60 + n.sampleTime % 60)})}, 1);
        clock = n.sampleTime + 1;
    }
    const std::int64_t start = rig.recordings()[0].startTime;
    const auto tempo = rig.kernel.midiRecorder->detectTempo(start);
    ASSERT_TRUE(tempo);
    EXPECT_NEAR(tempo->bpm / 97.0, 1.0, 0.02);
    EXPECT_FALSE(rig.kernel.midiRecorder->detectTempo(start + 1));

    const Corvel::Recording take = *rig.kernel.midiRecorder->copyRecording(start);
    const auto read = Corvel::MidiFileReader::read(
        Corvel::MidiFileWriter::writeOnGrid(take.events, {tempo->bpm, tempo->firstBeatSampleTime, take.sampleRate}));
    ASSERT_TRUE(read.file);
    EXPECT_NEAR(read.file->tempoMap.bpmAt(0.0), tempo->bpm, 0.01);
    EXPECT_EQ(read.file->tempoMap.changes().size(), 1u);
    EXPECT_EQ(read.file->timeSignatures, (std::vector<Corvel::TimeSignature>{{0.0, 4, 4}}));
    std::size_t noteOns = 0;
    for (const auto& e : read.file->events)
        if (e.kind == Corvel::MidiFileEvent::Kind::channel && (read.file->bytesOf(e)[0] & 0xF0) == 0x90) {
            const auto tick = static_cast<std::int64_t>(e.tick);
            EXPECT_LE(std::abs(tick - 240 * ((tick + 120) / 240)), 24)
                << "an eighth's tick, give or take 15 ms: " << tick;
            EXPECT_TRUE(noteOns++ > 0 || tick <= 24) << "the first note on bar 1, beat 1";
        }
    EXPECT_EQ(noteOns, notes.size());

    EXPECT_EQ(Corvel::MidiFileWriter::writeOnGrid(take.events, {0.0, 0, rate}),  // no usable grid: as recorded
              Corvel::MidiFileWriter::write(take.events, {.withTempo = true}));
}
