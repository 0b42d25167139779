// Capture while stopped: free takes on the plug-in's own clock, when they begin and end, and how
// they share the slots with takes recorded while playing.

#include "KernelHarness.h"

#include <gtest/gtest.h>

using Corvel::RecordedMIDIEvent;
using SondrelTest::midi;

namespace {

/// A host whose transport stands still; `play` puts an event at a time of the plug-in's own
/// clock (from 0), moving the clock there with an empty cycle.
struct StoppedRig : SondrelTest::Rig {
    std::int64_t clock = 0;

    StoppedRig()
    {
        host.flags = 0;
        host.tempo = 90.0;
        kernel.setCaptureWhileStopped(true);
    }
    void play(std::int64_t at, std::initializer_list<std::uint8_t> bytes)
    {
        run(5000, {}, static_cast<std::uint32_t>(at - clock));
        ASSERT_EQ(run(5000, {midi(5000, bytes)}, 1), Corvel::noErr);
        clock = at + 1;
    }
    std::vector<RecordedMIDIEvent> take(std::size_t slot) { return recordings()[slot].events.toVector(); }
    std::string kinds()  ///< newest first: 'F' free, 'P' playing
    {
        std::string s;
        for (const auto& r : recordings())
            s += r.startTime == 0 ? "" : r.capturedWhileStopped ? "F" : "P";
        return s;
    }
};

RecordedMIDIEvent at(std::int64_t sampleTime, double bpm, Corvel::MidiBytes bytes)
{
    return {std::move(bytes), sampleTime, bpm, static_cast<double>(sampleTime) / 44100.0 * (bpm / 60.0)};
}

}  // namespace

TEST(FreeTakes, CountFromTheirFirstEventOnThePluginsClockAtTheHostsLastTempo)
{
    StoppedRig rig;
    rig.play(300, {0x90, 60, 100});
    rig.play(832, {0x80, 60, 0});
    EXPECT_EQ(rig.take(0),
              (std::vector<RecordedMIDIEvent>{
                  {{0xC0, 0x00}, 0, 90.0, 0.0}, at(0, 90.0, {0x90, 60, 100}), at(532, 90.0, {0x80, 60, 0})}));
    EXPECT_EQ(std::tuple(rig.kernel.liveEventCount.load(), rig.output.received.size()), std::tuple(3, 2u));
    EXPECT_FLOAT_EQ(static_cast<float>(rig.kernel.liveDuration()), 532.0f / 44100.0f);

    // A tempo change goes on from the beat reached (at the next cycle's start); a host that
    // stops telling its position leaves the tempo it last told.
    rig.host.tempo = 180.0;
    rig.play(44400, {0x90, 62, 1});
    rig.host.contextOk = false;
    rig.play(88500, {0x90, 64, 1});
    const auto events = rig.take(0);
    const double beatAtChange = 533.0 / 44100.0 * 1.5;
    EXPECT_DOUBLE_EQ(events[3].beatPosition, beatAtChange + (44100.0 - 533.0) / 44100.0 * 3.0);
    EXPECT_DOUBLE_EQ(events[4].beatPosition, beatAtChange + (88200.0 - 533.0) / 44100.0 * 3.0);
    EXPECT_EQ(std::pair(events[4].bpm, rig.kinds()), std::pair(180.0, std::string("F")));

    // A host that never told a tempo gives 120 BPM.
    StoppedRig silent;
    silent.host.contextOk = false;
    silent.play(10, {0x90, 60, 100});
    EXPECT_EQ(silent.take(0)[1], at(0, 120.0, {0x90, 60, 100}));
}

TEST(FreeTakes, EndAfterMoreThanTenSecondsWithNoEventAndNoNoteHeld)
{
    const struct {
        std::int64_t gap;
        bool held;
        bool ends;
    } cases[] = {
        {441000, false, false},
        {441001, false, true},
        {441001, true, false},
        {5'000'000, true, false},
    };
    for (const auto& c : cases) {
        StoppedRig rig;
        rig.play(0, {0x90, 60, 100});
        if (!c.held)
            rig.play(100, {0x90, 60, 0});  // a note-on of velocity 0 releases it
        const std::int64_t last = c.held ? 0 : 100;
        rig.play(last + c.gap, {0x90, 62, 100});
        EXPECT_EQ(rig.kinds(), c.ends ? "FF" : "F") << c.gap << (c.held ? " held" : "");
        EXPECT_EQ(rig.take(0).back().sampleTime, c.ends ? 0 : last + c.gap) << c.gap;
    }
}

TEST(FreeTakes, AlternateWithPlayingTakesThatTheTransportStarts)
{
    StoppedRig rig;
    rig.play(0, {0x90, 60, 100});
    rig.host.flags = Corvel::TransportStateMoving;
    rig.host.beatPosition = 8.0;
    rig.run(10000, {midi(10010, {0x90, 61, 100})});  // a playing take on the host's timeline
    EXPECT_EQ(rig.kinds(), "PF");
    EXPECT_EQ(rig.take(0)[1], (RecordedMIDIEvent{{0x90, 61, 100}, 10010, 90.0, 8.0 + 10.0 / 44100.0 * 1.5}));

    rig.host.flags = 0;
    rig.play(rig.clock + 10, {0x90, 62, 100});
    rig.host.flags = Corvel::TransportStateMoving;
    rig.run(20000, {midi(20000, {0x90, 63, 100})});  // later than the playing take, still a new one
    EXPECT_EQ(rig.kinds(), "PFPF");

    // A start with nothing played ends the free take all the same.
    rig.host.flags = 0;
    rig.play(rig.clock, {0x90, 64, 100});
    rig.host.flags = Corvel::TransportStateRecording;
    rig.run(30000, {});
    rig.host.flags = 0;
    rig.play(rig.clock, {0x90, 65, 100});
    EXPECT_EQ(rig.kinds(), "FFPFP");
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 5u);
}
