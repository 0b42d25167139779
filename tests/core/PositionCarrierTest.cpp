#include "PositionCarrier.h"
#include "HostCallbacks.h"
#include "TimePositionReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using Corvel::HostPositionReport;
using Corvel::PositionCarrier;

namespace {

constexpr double tick = 1.0 / 480.0;

double hostBeat(std::int64_t frame, double bpm, float rate) { return frame / double(rate) * bpm / 60.0; }

/// What an LV2 host sends: its frame, tempo, bar and time signature, no beat position; a
/// timeline at one tempo from sample 0.
HostPositionReport lv2Report(std::int64_t frame, double bpm, float rate, int beatsPerBar = 4)
{
    HostPositionReport r;
    r.bpm = bpm;
    r.sampleTime = frame;
    r.bar = static_cast<std::int64_t>(std::floor(hostBeat(frame, bpm, rate) / beatsPerBar));
    r.beatsPerBar = beatsPerBar;
    r.playing = true;
    return r;
}

}  // namespace

// Blocks of uneven length between host updates, at two rates and several tempi: every carried
// block starts where the host's own timeline is, to well within a tick, and so does the next update.
TEST(PositionCarrier, CarriesTheHostPositionBetweenUpdates)
{
    for (const float rate : {44100.0f, 48000.0f})
        for (const double bpm : {60.0, 120.0, 137.5, 174.0}) {
            PositionCarrier carrier;
            std::int64_t frame = 3 * 44100 + 17;  // rolling from somewhere inside bar 2
            for (int block = 0; block < 2000; ++block) {
                const int length = block % 3 == 0 ? 1024 : block % 3 == 1 ? 256 : 333;
                const auto report = lv2Report(frame, bpm, rate);
                const auto p = carrier.position(block % 400 == 0 ? &report : nullptr, length, rate);
                ASSERT_TRUE(p) << block;
                EXPECT_EQ(std::tuple(p->sampleTime, p->tempo, p->transportFlags),
                          std::tuple(frame, bpm, Corvel::TransportStateMoving));
                EXPECT_NEAR(p->beatPosition, hostBeat(frame, bpm, rate), tick / 1000)
                    << rate << " Hz " << bpm << " BPM block " << block;
                frame += length;
            }
        }
}

// A tempo change while rolling: the host sends its new tempo where the transport has got to, and
// the beat goes on from there at the new tempo, exactly, through later updates and a stop.
TEST(PositionCarrier, ATempoChangeWhileRollingKeepsTheBeatGoing)
{
    const float rate = 48000.0f;
    PositionCarrier carrier;
    const std::int64_t change = 140 * 512;  // inside the first bar
    auto hostBeat = [&](std::int64_t f) {
        return f < change ? f / 24000.0 : change / 24000.0 + (f - change) / 48000.0 * 1.25;
    };
    for (int block = 0; block < 1000; ++block) {
        const std::int64_t frame = std::min(block, 900) * std::int64_t{512};
        HostPositionReport r;
        r.bpm = frame < change ? 120.0 : 75.0;
        r.sampleTime = frame;
        r.bar = static_cast<std::int64_t>(std::floor(hostBeat(frame) / 4));
        r.playing = block < 900;
        const bool update = block % 300 == 0 || frame == change || block == 900;
        const auto p = carrier.position(update ? &r : nullptr, 512, rate);
        EXPECT_NEAR(p->beatPosition, hostBeat(frame), tick / 1000) << "block " << block;
    }
}

// Without a beat position the bar the host names decides the bar; the position within it comes
// from the sample time. Positions a hair off the bar line stay in the bar they round to.
TEST(PositionCarrier, PutsADerivedPositionIntoTheHostsBar)
{
    const float rate = 48000.0f;
    const struct {
        std::int64_t frame, bar;
        int beatsPerBar;
        double beat;
    } cases[] = {
        {48000, 0, 4, 2.0},   // 120 BPM: two beats in, bar 0
        {48000, 3, 4, 14.0},  // the tempo was not constant before: moved into bar 3
        {48000, 0, 3, 2.0},   // 3/4
        {48000, 1, 3, 5.0},
        {95999, 0, 4, hostBeat(95999, 120.0, rate)},  // just below the bar line of bar 1...
        {96001, 1, 4, hostBeat(96001, 120.0, rate)},  // ...and just above it
    };
    for (const auto& c : cases) {
        HostPositionReport r = lv2Report(c.frame, 120.0, rate, c.beatsPerBar);
        r.bar = c.bar;
        EXPECT_NEAR(PositionCarrier().position(&r, 64, rate)->beatPosition, c.beat, 1e-9)
            << c.frame << " bar " << c.bar;
    }
}

namespace {

using Corvel::TimePositionKeys;

/// A position object as the LV2 hosts send it: Ardour and jalv (frame, speed, bar, barBeat,
/// signature, tempo), Qtractor (the same and time:beat, in its own meaning).
TimePositionKeys barKeys(std::int64_t frame, std::int64_t bar, double barBeat, double beatsPerBar = 4,
                         double beatUnit = 4)
{
    return {frame, 1.0, bar, barBeat, std::nullopt, beatUnit, beatsPerBar, 120.0};
}

TimePositionKeys qtractorKeys(std::int64_t frame, std::int64_t bar, double beatOfBar, double barStartBeats,
                              double bpm = 120.0)
{
    return {frame, 1.0, bar, barStartBeats, beatOfBar, 4.0, 4.0, bpm};
}

}  // namespace

// What each host means by its keys, as quarter notes from the timeline's start.
TEST(TimePositionReader, ReadsTheSongPositionInTheHostsMeaning)
{
    const struct {
        const char* what;
        TimePositionKeys keys;
        std::optional<double> beat;
        std::optional<Corvel::BeatSpan> span;
    } cases[] = {
        {"bar and beat in it, 4/4", barKeys(0, 3, 2.5), 14.5, {}},
        {"bar and beat in it, 3/4", barKeys(0, 4, 1.0, 3), 13.0, {}},
        {"bar and beat in it, 6/8", barKeys(0, 1, 3.0, 6, 8), 4.5, {}},
        {"the song's beat alone", {0, 1.0, {}, {}, 7.25, {}, {}, 120.0}, 7.25, {}},
        {"the song's beat alone, in eighths", {0, 1.0, {}, {}, 9.0, 8.0, 6.0, 120.0}, 4.5, {}},
        {"all three, the LV2 way", {0, 1.0, 0, 2.0, 2.0, 4.0, 4.0, 120.0}, 2.0, {}},
        {"Qtractor, third beat of the third bar", qtractorKeys(0, 2, 3, 8), {}, Corvel::BeatSpan{10.0, 1.0}},
        {"Qtractor, first beat", qtractorKeys(0, 0, 1, 0), {}, Corvel::BeatSpan{0.0, 1.0}},
    };
    const auto span = [](const std::optional<Corvel::BeatSpan>& s) {
        return s ? std::optional(std::pair(s->start, s->length)) : std::nullopt;
    };
    for (const auto& c : cases) {
        const HostPositionReport r = Corvel::TimePositionReader().read(c.keys);
        EXPECT_EQ(std::tuple(r.beatPosition, span(r.beatSpan), r.bpm, r.playing),
                  std::tuple(c.beat, span(c.span), 120.0, true))
            << c.what;
    }
    // Tempo and time signature last until the host says them again; the position does not.
    Corvel::TimePositionReader reader;
    reader.read(barKeys(0, 1, 3.0, 6, 8));
    const HostPositionReport later = reader.read({4800, {}, 2, 1.0, {}, {}, {}, {}});
    EXPECT_EQ(std::tuple(later.beatPosition, later.bpm, later.playing), std::tuple(std::optional(6.5), 120.0, true));
    EXPECT_FALSE(reader.read({9600, 0.0, {}, {}, {}, {}, {}, {}}).playing);
}

// Qtractor names the beat once, on its first cycle: from the start, after a locate to a bar line
// and beyond 2^25 samples in cycles of 250 (its frame, sent in single precision, off by up to two
// samples either way), every cycle is where the host is, the sample time never jumping back;
// after a locate into a song whose tempo changed before, the position lands on the host's beat.
TEST(TimePositionReader, QtractorsBeatsAreCarriedExactly)
{
    const float rate = 48000.0f;
    constexpr double framesPerBeat = 24000.0;  // 120 BPM
    Corvel::TimePositionReader reader;
    PositionCarrier carrier;
    auto play = [&](std::int64_t from, int blocks, double beatOffset, int block = 256) {
        std::int64_t lastBeat = -1;
        std::int64_t rounding = 0;  // how far the first frame sent is off: the take starts there
        for (int i = 0; i < blocks; ++i) {
            const std::int64_t frame = from + std::int64_t{i} * block;
            const double beat = frame / framesPerBeat + beatOffset;
            const auto whole = static_cast<std::int64_t>(std::floor(beat));
            std::optional<HostPositionReport> report;
            if (whole != lastBeat) {
                const auto sent = static_cast<std::int64_t>(static_cast<float>(frame));
                rounding = i == 0 ? sent - frame : rounding;
                report = reader.read(qtractorKeys(sent, whole / 4, double(whole % 4 + 1), double(whole / 4 * 4)));
            }
            lastBeat = whole;
            const auto p = carrier.position(report ? &*report : nullptr, block, rate);
            ASSERT_TRUE(p);
            ASSERT_EQ(p->sampleTime, frame + rounding) << "block " << i << " from " << from;
            ASSERT_NEAR(p->beatPosition, beat + rounding / framesPerBeat, 1e-9) << "block " << i << " from " << from;
        }
    };
    play(0, 1000, 0.0);
    play(8 * 96000, 500, 0.0);
    play((std::int64_t{1} << 25) + 2, 4000, 0.0, 250);
    play(3 * 96000, 500, 1.0);  // the tempo was different before: bar 3 of the host is beat 13
}
