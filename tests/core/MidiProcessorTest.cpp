#include "MidiProcessor.h"
#include "HeldNotes.h"
#include "KernelHarness.h"
#include "MIDIRecorder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using Corvel::MidiBytes;
using Corvel::MIDIRecorder;
using Corvel::noErr;
using Corvel::RecordedMIDIEvent;
using Corvel::RenderEvent;
using SondrelTest::describe;
using SondrelTest::midi;
using SondrelTest::PassedOn;

namespace {

struct KernelRig : SondrelTest::Rig {
    void play(std::int64_t timestamp, std::vector<RenderEvent> events)
    {
        ASSERT_EQ(run(timestamp, std::move(events)), noErr) << "cycle at " << timestamp;
    }
    std::vector<RecordedMIDIEvent> slot(int index) { return recordings()[std::size_t(index)].events.toVector(); }
    double recorderTempo()
    {
        return recorder([](const MIDIRecorder& r) { return r.getTempo(); });
    }
    std::string held() { return describe(kernel.noteDetector->getOnNotes()); }  // "60 64 "
    void expectNothingRecorded()
    {
        EXPECT_EQ(std::tuple(kernel.recordingsChanged.load(), kernel.savedRecordingCount.load(),
                             recorder([](const MIDIRecorder& r) { return r.getSavedEventCount(); }), slot(0).size()),
                  std::tuple(0u, 0u, 0, 0u));
    }
};

RecordedMIDIEvent anchor(double bpm) { return {{0xC0, 0x00}, 0, bpm, 0.0}; }

}  // namespace

TEST(MidiProcessor, EveryCycleTakesTempoAndTransportAndTheAnchorTakesThoseOfTheCycleThatStartsIt)
{
    KernelRig rig;
    rig.host.tempo = 140.0;
    rig.host.beatPosition = 3.25;
    rig.host.flags = Corvel::TransportStateRecording | Corvel::TransportStateCycling;  // recording alone runs
    rig.play(512, {});                                                                 // an empty cycle raises nothing
    EXPECT_TRUE(rig.kernel.isPlaying);
    EXPECT_EQ(rig.recorderTempo(), 140.0);
    EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 0u);
    rig.expectNothingRecorded();

    rig.host.flags = Corvel::TransportStateCycling;
    rig.host.tempo = 141.0;
    rig.play(100, {midi(100, {0x90, 60, 1})});  // stopped: not recorded
    EXPECT_FALSE(rig.kernel.isPlaying);
    EXPECT_EQ(rig.recorderTempo(), 141.0);
    rig.host.flags = Corvel::TransportStateMoving;
    rig.host.tempo = 90.0;
    rig.play(200, {midi(250, {0x90, 62, 1})});
    rig.host.tempo = 60.0;
    rig.play(100, {midi(150, {0x90, 64, 1})});  // jump back
    EXPECT_EQ(rig.slot(1).front(), anchor(90.0));
    EXPECT_EQ(rig.slot(0).front(), anchor(60.0));
}

TEST(MidiProcessor, PassesOnMidiAndSysExExactly)
{
    KernelRig rig;
    // SysEx, even a long message that starts like a note-on, is neither analysed nor recorded.
    const std::uint8_t sysEx[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    const std::uint8_t longNoteLike[] = {0x90, 60, 100, 0x00};
    rig.play(
        0, {RenderEvent::sysEx(10, sysEx, sizeof sysEx, 2), RenderEvent::sysEx(20, longNoteLike, sizeof longNoteLike)});
    EXPECT_EQ(rig.output.received,
              (std::vector<PassedOn>{{10, 2, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}}, {20, 0, {0x90, 60, 100, 0x00}}}));
    EXPECT_EQ(rig.held(), "");
    EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 0u);
    rig.expectNothingRecorded();

    // Among recorded messages SysEx leaves no trace, nor does an earlier one split the recording.
    // Sample times (negative too), cables and bytes go out as given, in order.
    rig.output.received.clear();
    const std::uint8_t noteOn[] = {0x94, 0x30, 0x7F};
    const std::uint8_t clock[] = {0xF8};
    rig.play(-64,
             {RenderEvent::midi(-10, noteOn, 3, 7), RenderEvent::sysEx(-50, sysEx, sizeof sysEx),
              RenderEvent::midi(-5, clock, 1, 15)});
    EXPECT_EQ(rig.output.received,
              (std::vector<PassedOn>{
                  {-10, 7, {0x94, 0x30, 0x7F}}, {-50, 0, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}}, {-5, 15, {0xF8}}}));
    const auto live = rig.slot(0);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_EQ(std::pair(live[1].data, live[1].sampleTime), std::pair(MidiBytes{0x94, 0x30, 0x7F}, std::int64_t{-10}));
    EXPECT_EQ(live[2].data, (MidiBytes{0xF8}));
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);

    // Without an output, events are still analysed and recorded.
    rig.kernel.setMidiOutput(nullptr);
    rig.play(0, {midi(100, {0x90, 60, 100}), RenderEvent::sysEx(150, sysEx, sizeof sysEx)});
    EXPECT_EQ(rig.output.received.size(), 3u);
    EXPECT_EQ(rig.held(), "48 60 ");
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 4);
    EXPECT_EQ(rig.slot(0).size(), 4u);
}

TEST(MidiProcessor, EveryRecordingStartsAfterTheOneBeforeSoEachCanBeFound)
{
    using Clock = Corvel::MidiProcessor::WallClock;
    static std::int64_t backwards = 1'700'000'000'000;
    const Clock clocks[] = {
        []() noexcept -> std::int64_t { return 1'700'000'000'000; },  // all within one millisecond
        []() noexcept -> std::int64_t { return backwards -= 5; },     // set back between takes
        []() noexcept -> std::int64_t { return 0; },
        []() noexcept -> std::int64_t { return -40; },
    };
    for (const Clock clock : clocks) {
        KernelRig rig;
        rig.kernel.setWallClock(clock);
        for (std::uint8_t take = 0; take < 4; ++take)
            rig.play(1000 - take, {midi(1000 - take, {0x90, static_cast<std::uint8_t>(60 + take), 100})});
        const auto takes = rig.recordings();
        for (std::size_t slot = 0; slot < 4; ++slot) {
            EXPECT_GT(takes[slot].startTime, slot < 3 ? takes[slot + 1].startTime : 0) << slot;
            EXPECT_EQ(rig.kernel.midiRecorder->copyRecording(takes[slot].startTime), takes[slot]) << slot;
        }
    }
}
