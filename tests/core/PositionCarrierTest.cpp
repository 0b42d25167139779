#include "HostCallbacks.h"
#include "PositionCarrier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using Corvel::BlockPosition;
using Corvel::HostPositionReport;
using Corvel::PositionCarrier;

namespace {

constexpr double tick = 1.0 / 480.0;

/// What an LV2 host sends: its frame, tempo, bar and time signature, no beat position; a
/// timeline at one tempo from sample 0.
HostPositionReport lv2Report(std::int64_t frame, double bpm, float rate, bool playing = true, int beatsPerBar = 4)
{
    HostPositionReport r;
    r.bpm = bpm;
    r.sampleTime = frame;
    r.bar = static_cast<std::int64_t>(std::floor(frame / double(rate) * bpm / 60.0 / beatsPerBar));
    r.beatsPerBar = beatsPerBar;
    r.playing = playing;
    return r;
}

double hostBeat(std::int64_t frame, double bpm, float rate) { return frame / double(rate) * bpm / 60.0; }

} // namespace

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
                const std::optional<BlockPosition> p = carrier.position(block % 400 == 0 ? &report : nullptr, length, rate);
                ASSERT_TRUE(p) << block;
                EXPECT_EQ(p->sampleTime, frame);
                EXPECT_NEAR(p->beatPosition, hostBeat(frame, bpm, rate), tick / 1000) << rate << " Hz " << bpm << " BPM block " << block;
                EXPECT_EQ(p->tempo, bpm);
                EXPECT_EQ(p->transportFlags, Corvel::TransportStateMoving);
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
    auto hostBeat = [&](std::int64_t f) { return f < change ? f / 24000.0 : change / 24000.0 + (f - change) / 48000.0 * 1.25; };
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
    struct Case { std::int64_t frame; std::int64_t bar; int beatsPerBar; double beat; };
    const Case cases[] = {
        {48000, 0, 4, 2.0},       // 120 BPM: two beats in, bar 0
        {48000, 3, 4, 14.0},      // the tempo was not constant before: moved into bar 3
        {48000, 0, 3, 2.0},       // 3/4
        {48000, 1, 3, 5.0},
        {95999, 0, 4, hostBeat(95999, 120.0, rate)},  // just below the bar line of bar 1...
        {96001, 1, 4, hostBeat(96001, 120.0, rate)},  // ...and just above it
    };
    for (const Case& c : cases) {
        PositionCarrier carrier;
        HostPositionReport r = lv2Report(c.frame, 120.0, rate, true, c.beatsPerBar);
        r.bar = c.bar;
        EXPECT_NEAR(carrier.position(&r, 64, rate)->beatPosition, c.beat, 1e-9) << c.frame << " bar " << c.bar;
    }
}
