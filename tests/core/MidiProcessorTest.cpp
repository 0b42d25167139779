#include "KernelHarness.h"
#include "MIDIRecorder.h"
#include "MidiProcessor.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

using Corvel::cannotDoInCurrentContext;
using Corvel::MIDIRecorder;
using Corvel::MidiBytes;
using Corvel::MidiProcessor;
using Corvel::noErr;
using Corvel::RecordedMIDIEvent;
using Corvel::RenderEvent;
using SondrelTest::describe;
using SondrelTest::midi;
using SondrelTest::PassedOn;

namespace SondrelTest {
[[maybe_unused]] static void PrintTo(const PassedOn& p, std::ostream* os)
{
    *os << "{sample " << p.sampleTime << ", cable " << int(p.cable) << ", bytes [" << std::hex;
    for (std::uint8_t b : p.bytes)
        *os << " " << static_cast<int>(b);
    *os << std::dec << " ]}";
}
} // namespace SondrelTest

namespace {

std::int64_t fakeClockNow = 1'700'000'000'000;
std::int64_t fakeClock() noexcept { return ++fakeClockNow; }

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

/// A rig whose new recordings get distinct, increasing start times.
struct KernelRig : SondrelTest::Rig {
    KernelRig() { kernel.setWallClock(&fakeClock); }

    void play(std::int64_t timestamp, std::vector<RenderEvent> events)
    {
        ASSERT_EQ(run(timestamp, std::move(events)), noErr) << "cycle at " << timestamp;
    }
    template <typename T>
    T fromSlot(int index, T Corvel::Recording::*field)
    {
        return recorder([&](const MIDIRecorder& r) { return r.getEventDetailsByIndex(index).*field; });
    }
    std::vector<RecordedMIDIEvent> slot(int index) { return fromSlot(index, &Corvel::Recording::events).toVector(); }
    std::int64_t startTime(int index) { return fromSlot(index, &Corvel::Recording::startTime); }
    float slotRate(int index) { return fromSlot(index, &Corvel::Recording::sampleRate); }
    int slotsInUse() { return recorder([](const MIDIRecorder& r) { return r.getSavedEventCount(); }); }
    double recorderTempo() { return recorder([](const MIDIRecorder& r) { return r.getTempo(); }); }
    double summaryDuration() { return kernel.midiRecorder->getEventSummary(0).duration; }
    std::string held() { return describe(kernel.noteDetector->getOnNotes()); }  // "60 64 "
    std::uint32_t takeRecordingsChanged() { return kernel.recordingsChanged.exchange(0); }
    std::uint32_t takeLiveChanged() { return kernel.liveRecordingChanged.exchange(0); }

    void expectNothingRecorded()
    {
        EXPECT_EQ(kernel.recordingsChanged.load(), 0u);
        EXPECT_EQ(kernel.savedRecordingCount.load(), 0u);
        EXPECT_EQ(slotsInUse(), 0);
        EXPECT_TRUE(slot(0).empty());
    }
};

RecordedMIDIEvent anchor(double bpm) { return {{0xC0, 0x00}, 0, bpm, 0.0}; }

PassedOn passed(std::int64_t sampleTime, std::vector<std::uint8_t> bytes, std::uint8_t cable = 0)
{
    return {sampleTime, cable, std::move(bytes)};
}

} // namespace

TEST(MidiProcessor, StartsIdle)
{
    const MidiProcessor kernel;
    EXPECT_EQ(kernel.recordingsChanged.load(), 0u);
    EXPECT_EQ(kernel.savedRecordingCount.load(), 0u);
    EXPECT_EQ(kernel.liveRecordingChanged.load(), 0u);
    EXPECT_EQ(kernel.liveEventCount.load(), -1);
    EXPECT_EQ(kernel.liveDuration(), 0.0);
    EXPECT_EQ(kernel.sampleRate.load(), 44100.0f);
    EXPECT_FALSE(kernel.shouldBypassEffect.load());
}

TEST(MidiProcessor, WithoutTheHostsContextOrTransportACycleReturnsCannotDoAndTouchesNothing)
{
    enum Failure { NoMusicalContext, NoTransportState, MusicalContextFails, TransportStateFails };
    for (Failure failure : {NoMusicalContext, NoTransportState, MusicalContextFails, TransportStateFails}) {
        SCOPED_TRACE(failure);
        KernelRig rig;
        rig.host.tempo = 100.0;
        rig.play(0, {midi(1000, {0x90, 60, 100})});
        rig.takeRecordingsChanged();
        rig.takeLiveChanged();
        const auto slotBefore = rig.slot(0);
        const double durationBefore = rig.kernel.liveDuration();
        switch (failure) {
        case NoMusicalContext: rig.kernel.setMusicalContextSource(nullptr); break;
        case NoTransportState: rig.kernel.setTransportStateSource(nullptr); break;
        case MusicalContextFails: rig.host.contextOk = false; break;
        case TransportStateFails: rig.host.transportOk = false; break;
        }
        rig.host.tempo = 150.0;
        // A jump back, a new note, an All Notes Off and a SysEx: none of it may take effect.
        const std::uint8_t sysEx[] = {0xF0, 0x7D, 0x01, 0x02, 0xF7};
        const std::vector<RenderEvent> events = {midi(500, {0x90, 64, 100}), midi(600, {0xB0, 123, 0}),
                                                 RenderEvent::sysEx(700, sysEx, sizeof sysEx)};
        EXPECT_EQ(rig.kernel.process(2000, events), cannotDoInCurrentContext);
        EXPECT_EQ(rig.kernel.process(3000, {}), cannotDoInCurrentContext);

        EXPECT_EQ(rig.output.received.size(), 1u);
        EXPECT_EQ(rig.kernel.recordingsChanged.load() + rig.kernel.liveRecordingChanged.load(), 0u);
        EXPECT_EQ(rig.kernel.liveEventCount.load(), 2);
        EXPECT_EQ(rig.kernel.liveDuration(), durationBefore);
        EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);
        EXPECT_EQ(rig.held(), "60 ");
        EXPECT_EQ(rig.slot(0), slotBefore);
        EXPECT_EQ(rig.recorderTempo(), 100.0);
    }
}

TEST(MidiProcessor, AMovedFromKernelCannotProcessWhileTheNewOneCarriesOn)
{
    KernelRig rig;
    rig.play(0, {midi(100, {0x90, 60, 100})});
    MidiProcessor moved = std::move(rig.kernel);
    const auto e = midi(200, {0x90, 62, 100});
    EXPECT_EQ(rig.kernel.process(200, {&e, 1}), cannotDoInCurrentContext);

    // The new owner continues the same recording with the same held notes and host.
    EXPECT_EQ(moved.process(200, {&e, 1}), noErr);
    EXPECT_EQ(rig.output.received.size(), 2u);
    EXPECT_EQ(moved.liveEventCount.load(), 3);
    EXPECT_EQ(moved.savedRecordingCount.load(), 1u);
    EXPECT_EQ(describe(moved.noteDetector->getOnNotes()), "60 62 ");

    MidiProcessor assigned;
    assigned = std::move(moved);
    EXPECT_EQ(moved.process(300, {&e, 1}), cannotDoInCurrentContext);
    const auto back = midi(50, {0x80, 60, 0});
    EXPECT_EQ(assigned.process(50, {&back, 1}), noErr);  // a jump back: a second recording
    EXPECT_EQ(assigned.savedRecordingCount.load(), 2u);
    EXPECT_EQ(assigned.midiRecorder->getEventSummary(1).eventCount, 3u);
}

TEST(MidiProcessor, TheFirstCapturedEventStartsSlotZeroWithTheAnchorAtTheCyclesTempo)
{
    KernelRig rig;
    rig.host.tempo = 97.5;
    rig.host.beatPosition = 8.0;
    rig.play(10000, {midi(10441, {0x90, 60, 100})});
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 2);
    EXPECT_EQ(rig.takeRecordingsChanged(), 1u);
    EXPECT_EQ(rig.takeLiveChanged(), 1u);
    EXPECT_EQ(rig.kernel.liveDuration(), static_cast<double>(10441.0f / 44100.0f));
    const auto events = rig.slot(0);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], anchor(97.5));
    EXPECT_EQ(events[1].data, (MidiBytes{0x90, 60, 100}));
    EXPECT_EQ(events[1].sampleTime, 10441);
    EXPECT_EQ(events[1].bpm, 97.5);
    EXPECT_DOUBLE_EQ(events[1].beatPosition, 8.0 + (441.0 / 44100.0) * (97.5 / 60.0));
    EXPECT_EQ(rig.startTime(0), fakeClockNow);
    EXPECT_EQ(rig.slotRate(0), 44100.0f);
    EXPECT_EQ(rig.output.received, (std::vector<PassedOn>{passed(10441, {0x90, 60, 100})}));
}

TEST(MidiProcessor, EveryCycleTakesTempoAndTransportAndTheAnchorTakesThoseOfTheCycleThatStartsIt)
{
    KernelRig rig;
    rig.host.tempo = 140.0;
    rig.host.beatPosition = 3.25;
    rig.host.flags = Corvel::TransportStateRecording | Corvel::TransportStateCycling;  // recording alone runs
    rig.play(512, {});  // an empty cycle raises nothing
    EXPECT_EQ(rig.kernel.tempo, 140.0);
    EXPECT_EQ(rig.kernel.hostBeatPosition, 3.25);
    EXPECT_EQ(rig.kernel.transportStateFlags, 12u);
    EXPECT_TRUE(rig.kernel.isPlaying);
    EXPECT_EQ(rig.recorderTempo(), 140.0);
    EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 0u);
    rig.expectNothingRecorded();

    rig.host.flags = Corvel::TransportStateCycling;
    rig.host.tempo = 141.0;
    rig.play(100, {midi(100, {0x90, 60, 1})});  // stopped: not recorded
    EXPECT_EQ(rig.kernel.tempo, 141.0);
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

TEST(MidiProcessor, OnlyAnEarlierSampleTimeStartsANewRecordingEvenWithinACycle)
{
    KernelRig rig;
    rig.play(1000, {midi(1000, {0x90, 60, 100})});
    rig.takeRecordingsChanged();
    rig.takeLiveChanged();
    rig.play(1000, {midi(1000, {0x90, 64, 100}), midi(1000, {0x90, 67, 100})});
    rig.play(1000, {midi(1001, {0x90, 69, 100})});
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 5);
    EXPECT_EQ(rig.slotsInUse(), 1);
    EXPECT_EQ(rig.takeRecordingsChanged(), 0u);
    EXPECT_EQ(rig.takeLiveChanged(), 1u);  // raised until taken
    EXPECT_EQ(rig.takeLiveChanged(), 0u);
    const std::int64_t firstStart = rig.startTime(0);

    // One sample earlier, in the middle of a cycle: the split comes at that event.
    rig.play(999, {midi(1001, {0x90, 71, 100}), midi(1000, {0x80, 60, 0}), midi(1200, {0x80, 64, 0})});
    EXPECT_EQ(rig.takeRecordingsChanged(), 1u);
    EXPECT_EQ(rig.takeLiveChanged(), 1u);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 2u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 3);
    EXPECT_EQ(rig.kernel.liveDuration(), static_cast<double>(1200.0f / 44100.0f));
    EXPECT_EQ(rig.slotsInUse(), 2);
    EXPECT_EQ(rig.startTime(1), firstStart);
    EXPECT_GT(rig.startTime(0), firstStart);
    const auto older = rig.slot(1);
    ASSERT_EQ(older.size(), 6u);
    EXPECT_EQ(older[5].data, (MidiBytes{0x90, 71, 100}));
    const auto live = rig.slot(0);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_EQ(live[1].data, (MidiBytes{0x80, 60, 0}));
    EXPECT_EQ(live[2].sampleTime, 1200);
    EXPECT_EQ(rig.output.received.size(), 7u);
}

TEST(MidiProcessor, AfterFiveJumpsBackTheFirstRecordingIsGone)
{
    KernelRig rig;
    std::vector<std::int64_t> startTimes;
    for (int k = 0; k < 7; ++k) {
        const std::int64_t t = 100000 - 1000 * k;  // every recording begins earlier than the last
        rig.play(t, {midi(t, {0x90, static_cast<std::uint8_t>(60 + k), 100}), midi(t + 10, {0x80, 60, 0})});
        startTimes.push_back(rig.startTime(0));
        EXPECT_EQ(rig.kernel.savedRecordingCount.load(), static_cast<std::uint32_t>(std::min(k + 1, 5))) << k;
    }
    EXPECT_EQ(rig.slotsInUse(), 5);
    EXPECT_EQ(rig.recorder([](const MIDIRecorder& r) { return r.getRecordingCount(); }), 5);
    for (int slot = 0; slot < 5; ++slot) {
        const int k = 6 - slot;
        EXPECT_EQ(rig.startTime(slot), startTimes[static_cast<std::size_t>(k)]) << slot;
        EXPECT_EQ(rig.slot(slot).at(1).data, (MidiBytes{0x90, static_cast<std::uint8_t>(60 + k), 100})) << slot;
    }
}

TEST(MidiProcessor, WithTheTransportStoppedEventsAreTrackedAndPassedOnButNotStored)
{
    for (std::uint64_t flags : {std::uint64_t{0}, std::uint64_t{Corvel::TransportStateChanged},
                                std::uint64_t{Corvel::TransportStateCycling | Corvel::TransportStateChanged}}) {
        SCOPED_TRACE(flags);
        KernelRig rig;
        rig.host.flags = flags;
        rig.play(0, {midi(10, {0x90, 60, 100}), midi(20, {0x90, 64, 0x7F})});
        EXPECT_FALSE(rig.kernel.isPlaying);
        EXPECT_EQ(rig.held(), "60 64 ");
        EXPECT_EQ(rig.output.received,
                  (std::vector<PassedOn>{passed(10, {0x90, 60, 100}), passed(20, {0x90, 64, 0x7F})}));
        EXPECT_EQ(rig.kernel.liveEventCount.load(), -1);
        EXPECT_EQ(rig.kernel.liveDuration(), -1.0);
        EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 1u);
        rig.expectNothingRecorded();
    }

    // A pause with increasing sample times continues the recording.
    KernelRig rig;
    rig.play(0, {midi(100, {0x90, 60, 100})});
    rig.takeRecordingsChanged();
    rig.host.flags = 0;
    rig.play(5000, {midi(5000, {0x80, 60, 0}), midi(5001, {0x90, 62, 100})});
    EXPECT_EQ(rig.kernel.liveEventCount.load(), -1);
    EXPECT_EQ(rig.kernel.liveDuration(), -1.0);
    EXPECT_EQ(rig.takeRecordingsChanged(), 0u);
    EXPECT_EQ(rig.held(), "62 ");
    EXPECT_EQ(rig.slot(0).size(), 2u);
    EXPECT_EQ(rig.output.received.size(), 3u);
    rig.host.flags = Corvel::TransportStateRecording;  // recording alone counts as running
    rig.play(9000, {midi(9000, {0x80, 62, 0})});
    EXPECT_EQ(rig.takeRecordingsChanged(), 0u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 3);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);
    EXPECT_EQ(rig.slot(0).back().sampleTime, 9000);
}

TEST(MidiProcessor, WhenBypassedEventsArePassedOnButNeitherAnalysedNorStored)
{
    KernelRig rig;
    rig.kernel.shouldBypassEffect = true;
    rig.host.tempo = 123.0;
    rig.play(0, {midi(10, {0x90, 60, 100}), midi(20, {0xB3, 7, 90}), midi(5, {0x90, 61, 100})});
    EXPECT_EQ(rig.output.received, (std::vector<PassedOn>{passed(10, {0x90, 60, 100}), passed(20, {0xB3, 7, 90}),
                                                          passed(5, {0x90, 61, 100})}));
    EXPECT_EQ(rig.held(), "");
    EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 0u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), -1);
    rig.expectNothingRecorded();
    EXPECT_EQ(rig.recorderTempo(), 123.0);  // the recorder follows the tempo even when bypassed

    // A bypassed note-off does not release and a bypassed jump back does not split.
    rig.kernel.shouldBypassEffect = false;
    rig.play(100, {midi(100, {0x90, 62, 100})});
    rig.kernel.shouldBypassEffect = true;
    rig.play(200, {midi(200, {0x80, 62, 0}), midi(50, {0x90, 63, 1})});
    EXPECT_EQ(rig.held(), "62 ");
    EXPECT_EQ(rig.slot(0).size(), 2u);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 2);
}

TEST(MidiProcessor, PassesOnMidiAndSysExExactly)
{
    KernelRig rig;
    // SysEx, even a long message that starts like a note-on, is neither analysed nor recorded.
    const std::uint8_t sysEx[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    const std::uint8_t longNoteLike[] = {0x90, 60, 100, 0x00};
    rig.play(0, {RenderEvent::sysEx(10, sysEx, sizeof sysEx, 2), RenderEvent::sysEx(20, longNoteLike, sizeof longNoteLike)});
    EXPECT_EQ(rig.output.received, (std::vector<PassedOn>{passed(10, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, 2),
                                                          passed(20, {0x90, 60, 100, 0x00})}));
    EXPECT_EQ(rig.held(), "");
    EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 0u);
    rig.expectNothingRecorded();

    // Among recorded messages SysEx leaves no trace, nor does an earlier one split the recording.
    // Sample times (negative too), cables and bytes go out as given, in order.
    rig.output.received.clear();
    const std::uint8_t noteOn[] = {0x94, 0x30, 0x7F};
    const std::uint8_t clock[] = {0xF8};
    rig.play(-64, {RenderEvent::midi(-10, noteOn, 3, 7), RenderEvent::sysEx(-50, sysEx, sizeof sysEx),
                   RenderEvent::midi(-5, clock, 1, 15)});
    EXPECT_EQ(rig.output.received, (std::vector<PassedOn>{passed(-10, {0x94, 0x30, 0x7F}, 7),
                                                          passed(-50, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}),
                                                          passed(-5, {0xF8}, 15)}));
    const auto live = rig.slot(0);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_EQ(live[1].data, (MidiBytes{0x94, 0x30, 0x7F}));
    EXPECT_EQ(live[1].sampleTime, -10);
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

TEST(MidiProcessor, NoteTrackingFollowsOnsOffsAndAllNotesOffOnAnyChannel)
{
    KernelRig rig;
    rig.play(0, {midi(1, {0x90, 60, 100}), midi(2, {0x95, 64, 1}), midi(3, {0x9F, 67, 127}), midi(4, {0x90, 0, 100}),
                 midi(5, {0x90, 0x85, 100}), midi(6, {0x90, 0xFF, 100})});
    EXPECT_EQ(rig.held(), "0 60 64 67 ");  // note numbers above 127 are ignored
    // Velocity 0 releases; the channel plays no part.
    rig.play(10, {midi(10, {0x93, 60, 0}), midi(11, {0x8A, 64, 64})});
    EXPECT_EQ(rig.held(), "0 67 ");
    // A two-byte note-on has no velocity: a note-off. So is a lone status byte (note 0).
    rig.play(20, {midi(20, {0x91, 67}), midi(21, {0x90})});
    EXPECT_EQ(rig.held(), "");
    // Other messages, and controllers other than 123, do not touch the notes.
    rig.play(30, {midi(30, {0x90, 72, 90}), midi(31, {0xA0, 72, 0}), midi(32, {0xC0, 72}), midi(33, {0xE0, 0, 0}),
                  midi(34, {0xD0, 0}), midi(35, {0xB0, 72, 0}), midi(36, {0xB0, 120, 0}), midi(37, {0xB7, 121, 0})});
    EXPECT_EQ(rig.held(), "72 ");

    // Every event was stored and passed on exactly as received.
    const auto events = rig.slot(0);
    ASSERT_EQ(events.size(), 1u + 6 + 2 + 2 + 8);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 19);
    EXPECT_EQ(events[5].data, (MidiBytes{0x90, 0x85, 100}));
    EXPECT_EQ(events[9].data, (MidiBytes{0x91, 67}));
    EXPECT_EQ(events[10].data, (MidiBytes{0x90}));
    ASSERT_EQ(rig.output.received.size(), 18u);
    EXPECT_EQ(rig.output.received[8], passed(20, {0x91, 67}));
    EXPECT_EQ(rig.output.received[9], passed(21, {0x90}));

    // Controller 123 on any channel releases everything.
    for (std::uint8_t status : {0xB0, 0xB9, 0xBF}) {
        rig.play(40, {midi(40, {0x90, 36, 100}), midi(41, {0x9C, 127, 100})});
        ASSERT_EQ(rig.held(), "36 72 127 ");
        rig.play(50, {midi(50, {status, 123, 0}), midi(51, {0x90, 72, 1})});
        EXPECT_EQ(rig.held(), "72 ") << int(status);
    }
}

TEST(MidiProcessor, BeatPositionCountsFromTheCycleStartAtTheHostTempo)
{
    const struct { float rate; double tempo, hostBeat; std::int64_t cycleStart, offset; } cases[] = {
        {44100.0f, 120.0, 4.0, 1000, 22050},  // half a second at 2 beats/s: +1 beat
        {48000.0f, 90.0, 0.0, 0, 0},
        {48000.0f, 90.0, 16.5, 96000, 333},
        {44100.0f, 133.0, 2.0, 5000, -441},  // an event before the cycle start
        {96000.0f, 60.0, -4.0, 0, 1},        // a count-in before beat 0
        {22050.0f, 300.0, 1000.0, -70000, 1023},
        {44100.0f, 0.0, 7.0, 0, 1000},  // no tempo: no offset
        {44100.0f, -120.0, 7.0, 0, 22050},
    };
    for (const auto& c : cases) {
        KernelRig rig;
        rig.kernel.setSampleRate(c.rate);
        rig.host.tempo = c.tempo;
        rig.host.beatPosition = c.hostBeat;
        rig.play(c.cycleStart, {midi(c.cycleStart + c.offset, {0x90, 60, 100})});
        const auto events = rig.slot(0);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_DOUBLE_EQ(events[1].beatPosition,
                         c.hostBeat + (static_cast<double>(c.offset) / static_cast<double>(c.rate)) * (c.tempo / 60.0))
            << c.rate << " " << c.tempo << " " << c.offset;
        EXPECT_EQ(events[1].bpm, c.tempo);
        EXPECT_EQ(events[1].sampleTime, c.cycleStart + c.offset);
    }
}

TEST(MidiProcessor, WithoutAUsableRateOrAFiniteTempoEventsTakeTheCycleBeat)
{
    const double span = static_cast<double>(45100.0f / 44100.0f);  // from the anchor to the last event
    const struct { float rate; double tempo, duration; } cases[] = {
        {0.0f, 120.0, 0.0}, {std::numeric_limits<float>::quiet_NaN(), 120.0, 0.0},
        {std::numeric_limits<float>::infinity(), 120.0, 0.0}, {44100.0f, notANumber, span},
        {44100.0f, infinity, span}, {44100.0f, -infinity, span},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "rate " << c.rate << ", tempo " << c.tempo);
        KernelRig rig;
        rig.kernel.setSampleRate(c.rate);
        rig.host.tempo = c.tempo;
        rig.host.beatPosition = 12.0;
        // The event at the cycle start would be 0 × ∞ beats away if computed literally.
        rig.play(1000, {midi(1000, {0x90, 60, 100}), midi(45100, {0x80, 60, 0})});
        const auto events = rig.slot(0);
        ASSERT_EQ(events.size(), 3u);
        EXPECT_EQ(events[1].beatPosition, 12.0);
        EXPECT_EQ(events[2].beatPosition, 12.0);
        EXPECT_EQ(std::isnan(events[1].bpm), std::isnan(c.tempo));
        EXPECT_EQ(rig.kernel.liveEventCount.load(), 3);
        EXPECT_EQ(rig.kernel.liveDuration(), c.duration);
        EXPECT_EQ(rig.summaryDuration(), c.duration);
    }

    // A non-finite host beat is recorded as given.
    KernelRig rig;
    rig.host.beatPosition = notANumber;
    rig.play(0, {midi(100, {0x90, 60, 100})});
    EXPECT_TRUE(std::isnan(rig.slot(0).at(1).beatPosition));
}

TEST(MidiProcessor, LiveDurationCountsFromTheAnchorInSinglePrecisionAtTheRecordingsRate)
{
    KernelRig rig;
    rig.play(400000, {midi(400000, {0x90, 60, 100})});
    EXPECT_EQ(rig.kernel.liveDuration(), static_cast<double>(400000.0f / 44100.0f));
    rig.play(441000, {midi(441000, {0x80, 60, 0})});
    EXPECT_DOUBLE_EQ(rig.kernel.liveDuration(), 10.0);
    EXPECT_DOUBLE_EQ(rig.summaryDuration(), 10.0);
    // Several events in one cycle: the values of the last one are published.
    rig.play(441000, {midi(450000, {0x90, 61, 1}), midi(460000, {0x90, 62, 1}), midi(470000, {0x90, 63, 1})});
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 6);
    EXPECT_EQ(rig.kernel.liveDuration(), static_cast<double>(470000.0f / 44100.0f));

    // A recording keeps the rate it started with, even when the rate changes before anything
    // read it; the next one takes the new rate.
    rig.kernel.setSampleRate(88200.0f);
    rig.play(44100, {midi(88200, {0x90, 64, 1})});
    rig.kernel.setSampleRate(22050.0f);
    EXPECT_EQ(rig.slotRate(0), 88200.0f);
    EXPECT_EQ(rig.slotRate(1), 44100.0f);
    EXPECT_EQ(rig.kernel.liveDuration(), 4.0);
    EXPECT_EQ(rig.summaryDuration(), 4.0);

    // The most negative span there is reads as that many seconds, not as a stopped transport.
    KernelRig extreme;
    extreme.play(0, {midi(std::numeric_limits<std::int64_t>::min(), {0x90, 60, 100})});
    EXPECT_LT(extreme.kernel.liveDuration(), -1.0e14);
    EXPECT_EQ(extreme.kernel.liveDuration(), extreme.summaryDuration());
}

TEST(MidiProcessor, EveryRecordingStartsAfterTheOneBeforeSoEachCanBeFound)
{
    using Clock = Corvel::MidiProcessor::WallClock;
    static std::int64_t backwards = 1'700'000'000'000;
    const Clock clocks[] = {
        [] () noexcept -> std::int64_t { return 1'700'000'000'000; },  // all within one millisecond
        [] () noexcept -> std::int64_t { return backwards -= 5; },     // set back between takes
        [] () noexcept -> std::int64_t { return 0; },
        [] () noexcept -> std::int64_t { return -40; },
    };
    for (const Clock clock : clocks) {
        KernelRig rig;
        rig.kernel.setWallClock(clock);
        for (std::uint8_t take = 0; take < 4; ++take)
            rig.play(1000 - take, {midi(1000 - take, {0x90, static_cast<std::uint8_t>(60 + take), 100})});
        for (int slot = 0; slot < 4; ++slot) {
            const std::int64_t start = rig.startTime(slot);
            EXPECT_GT(start, slot < 3 ? rig.startTime(slot + 1) : 0) << slot;
            const auto found = rig.kernel.midiRecorder->copyRecording(start);
            ASSERT_TRUE(found.has_value());
            EXPECT_EQ(found->events.toVector(), rig.slot(slot)) << slot;
        }
    }
}
