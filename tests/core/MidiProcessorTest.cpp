#include "KernelHarness.h"
#include "MIDIRecorder.h"
#include "MidiProcessor.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ostream>
#include <limits>
#include <string>
#include <vector>

using Corvel::cannotDoInCurrentContext;
using Corvel::MIDIRecorder;
using Corvel::MidiBytes;
using Corvel::MidiProcessor;
using Corvel::noErr;
using Corvel::RecordedMIDIEvent;
using Corvel::RenderEvent;
using Corvel::RenderEventType;
using SondrelTest::midi;
using SondrelTest::PassedOn;
using SondrelTest::Rig;


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

/// A rig whose new recordings get distinct, increasing start times.
struct KernelRig : Rig {
    KernelRig() { kernel.setWallClock(&fakeClock); }

    std::vector<RecordedMIDIEvent> slot(int index)
    {
        return recorder([index](const MIDIRecorder& r) { return r.getEventDetailsByIndex(index).events.toVector(); });
    }
    std::int64_t startTime(int index)
    {
        return recorder([index](const MIDIRecorder& r) { return r.getEventDetailsByIndex(index).startTime; });
    }
    int slotsInUse()
    {
        return recorder([](const MIDIRecorder& r) { return r.getSavedEventCount(); });
    }
    double recorderTempo()
    {
        return recorder([](const MIDIRecorder& r) { return r.getTempo(); });
    }
    bool held(int note) { return kernel.noteDetector->getOnNotes()[static_cast<std::size_t>(note)]; }
    std::uint32_t takeRecordingsChanged() { return kernel.recordingsChanged.exchange(0); }
    std::uint32_t takeLiveChanged() { return kernel.liveRecordingChanged.exchange(0); }
};

RecordedMIDIEvent anchorWithTempo(double bpm)
{
    return {{0xC0, 0x00}, 0, bpm, 0.0};
}

PassedOn passed(std::int64_t sampleTime, std::vector<std::uint8_t> bytes, std::uint8_t cable = 0)
{
    return {sampleTime, cable, std::move(bytes)};
}

} // namespace

TEST(MidiProcessor, StartsIdleWithFiveEmptySlotsThatWillCarryTheAnchor)
{
    MidiProcessor kernel;
    EXPECT_EQ(kernel.recordingsChanged.load(), 0u);
    EXPECT_EQ(kernel.savedRecordingCount.load(), 0u);
    EXPECT_EQ(kernel.liveRecordingChanged.load(), 0u);
    EXPECT_EQ(kernel.liveEventCount.load(), -1);
    EXPECT_EQ(kernel.liveDuration(), 0.0);
    EXPECT_EQ(kernel.sampleRate.load(), 44100.0f);
    EXPECT_FALSE(kernel.shouldBypassEffect.load());
    EXPECT_FALSE(kernel.isPlaying);
    ASSERT_NE(kernel.noteDetector, nullptr);
    ASSERT_NE(kernel.midiRecorder, nullptr);
    kernel.midiRecorder->read([](const MIDIRecorder& r) {
        EXPECT_EQ(r.getRecordingCount(), 5);
        EXPECT_TRUE(r.getAddsInitialProgramChange());
        EXPECT_EQ(r.getSavedEventCount(), 0);
    });
    // No host callbacks yet: nothing can be done.
    const auto e = midi(0, {0x90, 60, 100});
    EXPECT_EQ(kernel.process(0, {&e, 1}), cannotDoInCurrentContext);
}

namespace {

enum class Failure { NoMusicalContext, NoTransportState, MusicalContextFails, TransportStateFails };

std::string nameOf(Failure failure)
{
    switch (failure) {
    case Failure::NoMusicalContext: return "NoMusicalContext";
    case Failure::NoTransportState: return "NoTransportState";
    case Failure::MusicalContextFails: return "MusicalContextFails";
    case Failure::TransportStateFails: return "TransportStateFails";
    }
    return "Unknown";
}

[[maybe_unused]] void PrintTo(Failure failure, std::ostream* os) { *os << nameOf(failure); }

class KernelHostFailure : public ::testing::TestWithParam<Failure> {};

} // namespace

TEST_P(KernelHostFailure, ReturnsCannotDoAndTouchesNothing)
{
    KernelRig rig;
    rig.host.tempo = 100.0;
    ASSERT_EQ(rig.run(0, {midi(1000, {0x90, 60, 100})}), noErr);
    rig.takeRecordingsChanged();
    rig.takeLiveChanged();
    const auto outputBefore = rig.output.received;
    const auto slotBefore = rig.slot(0);
    const auto countBefore = rig.kernel.liveEventCount.load();
    const auto durationBefore = rig.kernel.liveDuration();
    const auto savedBefore = rig.kernel.savedRecordingCount.load();

    switch (GetParam()) {
    case Failure::NoMusicalContext: rig.kernel.setMusicalContextSource(nullptr); break;
    case Failure::NoTransportState: rig.kernel.setTransportStateSource(nullptr); break;
    case Failure::MusicalContextFails: rig.host.contextOk = false; break;
    case Failure::TransportStateFails: rig.host.transportOk = false; break;
    }
    rig.host.tempo = 150.0;

    // A jump back, a new note, an All Notes Off and a SysEx: none of it may take effect.
    const std::uint8_t sysEx[] = {0xF0, 0x7D, 0x01, 0x02, 0xF7};
    const std::vector<RenderEvent> events = {midi(500, {0x90, 64, 100}), midi(600, {0xB0, 123, 0}),
                                             RenderEvent::sysEx(700, sysEx, sizeof sysEx)};
    EXPECT_EQ(rig.kernel.process(2000, events), cannotDoInCurrentContext);
    EXPECT_EQ(rig.kernel.process(3000, {}), cannotDoInCurrentContext);

    EXPECT_EQ(rig.output.received, outputBefore);
    EXPECT_EQ(rig.kernel.recordingsChanged.load(), 0u);
    EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 0u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), countBefore);
    EXPECT_EQ(rig.kernel.liveDuration(), durationBefore);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), savedBefore);
    EXPECT_TRUE(rig.held(60));
    EXPECT_FALSE(rig.held(64));
    EXPECT_EQ(rig.slot(0), slotBefore);
    EXPECT_EQ(rig.slotsInUse(), 1);
    EXPECT_EQ(rig.recorderTempo(), 100.0);
}

INSTANTIATE_TEST_SUITE_P(EachWay, KernelHostFailure,
                         ::testing::Values(Failure::NoMusicalContext, Failure::NoTransportState,
                                           Failure::MusicalContextFails, Failure::TransportStateFails),
                         [](const ::testing::TestParamInfo<Failure>& info) { return nameOf(info.param); });

TEST(MidiProcessor, AMovedFromKernelCannotProcessWhileTheNewOneCarriesOn)
{
    KernelRig rig;
    ASSERT_EQ(rig.run(0, {midi(100, {0x90, 60, 100})}), noErr);

    MidiProcessor moved = std::move(rig.kernel);
    EXPECT_EQ(rig.kernel.musicalContextBlock, nullptr);
    EXPECT_EQ(rig.kernel.transportStateBlock, nullptr);
    EXPECT_EQ(rig.kernel.midiOutputEventBlock, nullptr);
    EXPECT_EQ(rig.kernel.noteDetector, nullptr);
    EXPECT_EQ(rig.kernel.midiRecorder, nullptr);
    const auto e = midi(200, {0x90, 62, 100});
    EXPECT_EQ(rig.kernel.process(200, {&e, 1}), cannotDoInCurrentContext);
    EXPECT_EQ(rig.output.received.size(), 1u);

    // The new owner continues the same recording with the same held notes.
    EXPECT_EQ(moved.process(200, {&e, 1}), noErr);
    EXPECT_EQ(rig.output.received.size(), 2u);
    EXPECT_EQ(moved.liveEventCount.load(), 3);
    EXPECT_EQ(moved.savedRecordingCount.load(), 1u);
    EXPECT_TRUE(moved.noteDetector->getOnNotes()[60]);
    EXPECT_TRUE(moved.noteDetector->getOnNotes()[62]);

    MidiProcessor assigned;
    assigned = std::move(moved);
    EXPECT_EQ(moved.process(300, {&e, 1}), cannotDoInCurrentContext);
    const auto later = midi(50, {0x80, 60, 0});
    EXPECT_EQ(assigned.process(50, {&later, 1}), noErr);  // a jump back: second recording
    EXPECT_EQ(assigned.savedRecordingCount.load(), 2u);
    const auto older = assigned.midiRecorder->read(
        [](const MIDIRecorder& r) { return r.getEventDetailsByIndex(1).events.size(); });
    EXPECT_EQ(older, 3u);
}

TEST(MidiProcessor, TheFirstCapturedEventStartsSlotZeroWithTheAnchor)
{
    KernelRig rig;
    rig.host.tempo = 97.5;
    rig.host.beatPosition = 8.0;
    ASSERT_EQ(rig.run(10000, {midi(10441, {0x90, 60, 100})}), noErr);

    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 2);
    EXPECT_EQ(rig.takeRecordingsChanged(), 1u);
    EXPECT_EQ(rig.takeLiveChanged(), 1u);
    EXPECT_EQ(rig.kernel.liveDuration(), static_cast<double>(10441.0f / 44100.0f));

    const auto events = rig.slot(0);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], anchorWithTempo(97.5));
    EXPECT_EQ(events[1].data, (MidiBytes{0x90, 60, 100}));
    EXPECT_EQ(events[1].sampleTime, 10441);
    EXPECT_EQ(events[1].bpm, 97.5);
    EXPECT_DOUBLE_EQ(events[1].beatPosition, 8.0 + (441.0 / 44100.0) * (97.5 / 60.0));
    EXPECT_EQ(rig.slotsInUse(), 1);
    EXPECT_EQ(rig.startTime(0), fakeClockNow);
    EXPECT_EQ(rig.recorder([](const MIDIRecorder& r) { return r.getEventDetailsByIndex(0).sampleRate; }), 44100.0f);
    EXPECT_EQ(rig.output.received, (std::vector<PassedOn>{passed(10441, {0x90, 60, 100})}));
}

TEST(MidiProcessor, TheAnchorTakesTheTempoOfTheCycleThatStartsTheRecording)
{
    KernelRig rig;
    rig.host.tempo = 140.0;
    ASSERT_EQ(rig.run(0, {}), noErr);
    rig.host.flags = 0;
    rig.host.tempo = 141.0;
    ASSERT_EQ(rig.run(100, {midi(100, {0x90, 60, 1})}), noErr);  // stopped: not recorded
    rig.host.flags = Corvel::TransportStateMoving;
    rig.host.tempo = 90.0;
    ASSERT_EQ(rig.run(200, {midi(250, {0x90, 62, 1})}), noErr);
    rig.host.tempo = 60.0;
    ASSERT_EQ(rig.run(100, {midi(150, {0x90, 64, 1})}), noErr);  // jump back

    EXPECT_EQ(rig.slot(1).front(), anchorWithTempo(90.0));
    EXPECT_EQ(rig.slot(0).front(), anchorWithTempo(60.0));
}

TEST(MidiProcessor, EqualSampleTimesStayInOneRecordingAndOneSampleEarlierStartsANewOne)
{
    KernelRig rig;
    ASSERT_EQ(rig.run(1000, {midi(1000, {0x90, 60, 100})}), noErr);
    ASSERT_EQ(rig.run(1000, {midi(1000, {0x90, 64, 100}), midi(1000, {0x90, 67, 100})}), noErr);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 4);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);
    EXPECT_EQ(rig.slotsInUse(), 1);
    const std::int64_t firstStart = rig.startTime(0);
    rig.takeRecordingsChanged();

    ASSERT_EQ(rig.run(999, {midi(999, {0x80, 60, 0})}), noErr);
    EXPECT_EQ(rig.takeRecordingsChanged(), 1u);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 2u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 2);
    EXPECT_EQ(rig.slotsInUse(), 2);
    EXPECT_EQ(rig.startTime(1), firstStart);
    EXPECT_GT(rig.startTime(0), firstStart);

    const auto older = rig.slot(1);
    ASSERT_EQ(older.size(), 4u);
    EXPECT_EQ(older[3].data, (MidiBytes{0x90, 67, 100}));
    const auto live = rig.slot(0);
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[1].data, (MidiBytes{0x80, 60, 0}));
    EXPECT_EQ(live[1].sampleTime, 999);
}

TEST(MidiProcessor, AJumpBackWithinOneCycleSplitsAtThatEvent)
{
    KernelRig rig;
    ASSERT_EQ(rig.run(0, {midi(300, {0x90, 60, 100}), midi(400, {0x90, 62, 100}), midi(100, {0x90, 64, 100}),
                          midi(200, {0x90, 65, 100})}),
              noErr);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 2u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 3);
    EXPECT_EQ(rig.kernel.liveDuration(), static_cast<double>(200.0f / 44100.0f));
    EXPECT_EQ(rig.slot(1).size(), 3u);
    const auto live = rig.slot(0);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_EQ(live[1].sampleTime, 100);
    EXPECT_EQ(live[2].sampleTime, 200);
    EXPECT_EQ(rig.output.received.size(), 4u);
}

TEST(MidiProcessor, AfterFiveJumpsBackTheFirstRecordingIsGone)
{
    KernelRig rig;
    std::vector<std::int64_t> startTimes;
    for (int k = 0; k < 6; ++k) {
        const std::int64_t t = 100000 - 1000 * k;  // every recording begins earlier than the last
        ASSERT_EQ(rig.run(t, {midi(t, {0x90, static_cast<std::uint8_t>(60 + k), 100}),
                              midi(t + 10, {0x80, static_cast<std::uint8_t>(60 + k), 0})}),
                  noErr);
        startTimes.push_back(rig.startTime(0));
        EXPECT_EQ(rig.kernel.savedRecordingCount.load(), static_cast<std::uint32_t>(std::min(k + 1, 5))) << k;
    }
    EXPECT_EQ(rig.slotsInUse(), 5);
    EXPECT_EQ(rig.recorder([&](const MIDIRecorder& r) { return r.getEventDetailsByStartTime(startTimes[0]); }),
              nullptr);
    for (int slot = 0; slot < 5; ++slot) {
        const int k = 5 - slot;
        EXPECT_EQ(rig.startTime(slot), startTimes[static_cast<std::size_t>(k)]) << slot;
        const auto events = rig.slot(slot);
        ASSERT_EQ(events.size(), 3u) << slot;
        EXPECT_EQ(events[1].data, (MidiBytes{0x90, static_cast<std::uint8_t>(60 + k), 100})) << slot;
    }

    // A seventh recording still keeps five.
    ASSERT_EQ(rig.run(0, {midi(0, {0x90, 1, 1})}), noErr);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 5u);
    EXPECT_EQ(rig.slotsInUse(), 5);
}

TEST(MidiProcessor, APauseWithIncreasingSampleTimesContinuesTheRecording)
{
    KernelRig rig;
    ASSERT_EQ(rig.run(0, {midi(100, {0x90, 60, 100})}), noErr);
    rig.takeRecordingsChanged();

    rig.host.flags = 0;
    ASSERT_EQ(rig.run(5000, {midi(5000, {0x80, 60, 0}), midi(5001, {0x90, 62, 100})}), noErr);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), -1);
    EXPECT_EQ(rig.kernel.liveDuration(), -1.0);
    EXPECT_EQ(rig.takeLiveChanged(), 1u);
    EXPECT_EQ(rig.takeRecordingsChanged(), 0u);
    EXPECT_FALSE(rig.held(60));  // note tracking goes on while stopped
    EXPECT_TRUE(rig.held(62));
    EXPECT_EQ(rig.slot(0).size(), 2u);  // nothing stored
    EXPECT_EQ(rig.output.received.size(), 3u);

    rig.host.flags = Corvel::TransportStateRecording;  // recording alone counts as running
    ASSERT_EQ(rig.run(9000, {midi(9000, {0x80, 62, 0})}), noErr);
    EXPECT_EQ(rig.takeRecordingsChanged(), 0u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 3);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);
    EXPECT_EQ(rig.slot(0).back().sampleTime, 9000);
}

TEST(MidiProcessor, WithTheTransportStoppedEventsAreTrackedAndPassedOnButNotStored)
{
    for (std::uint64_t flags : {std::uint64_t{0}, std::uint64_t{Corvel::TransportStateChanged},
                                std::uint64_t{Corvel::TransportStateCycling | Corvel::TransportStateChanged}}) {
        KernelRig rig;
        rig.host.flags = flags;
        ASSERT_EQ(rig.run(0, {midi(10, {0x90, 60, 100}), midi(20, {0x90, 64, 0x7F})}), noErr);
        EXPECT_FALSE(rig.kernel.isPlaying);
        EXPECT_EQ(rig.kernel.transportStateFlags, flags);
        EXPECT_TRUE(rig.held(60));
        EXPECT_TRUE(rig.held(64));
        EXPECT_EQ(rig.output.received,
                  (std::vector<PassedOn>{passed(10, {0x90, 60, 100}), passed(20, {0x90, 64, 0x7F})}));
        EXPECT_EQ(rig.kernel.liveEventCount.load(), -1);
        EXPECT_EQ(rig.kernel.liveDuration(), -1.0);
        EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 1u);
        EXPECT_EQ(rig.kernel.recordingsChanged.load(), 0u);
        EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 0u);
        EXPECT_EQ(rig.slotsInUse(), 0);
        EXPECT_TRUE(rig.slot(0).empty());
    }
}

TEST(MidiProcessor, WhenBypassedEventsArePassedOnButNeitherAnalysedNorStored)
{
    KernelRig rig;
    rig.kernel.shouldBypassEffect = true;
    rig.host.tempo = 123.0;
    const std::vector<RenderEvent> events = {midi(10, {0x90, 60, 100}), midi(20, {0xB3, 7, 90}),
                                             midi(30, {0xE0, 0, 64}), midi(5, {0x90, 61, 100})};
    ASSERT_EQ(rig.run(0, events), noErr);

    EXPECT_EQ(rig.output.received,
              (std::vector<PassedOn>{passed(10, {0x90, 60, 100}), passed(20, {0xB3, 7, 90}), passed(30, {0xE0, 0, 64}),
                                     passed(5, {0x90, 61, 100})}));
    EXPECT_FALSE(rig.held(60));
    EXPECT_FALSE(rig.held(61));
    EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 0u);
    EXPECT_EQ(rig.kernel.recordingsChanged.load(), 0u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), -1);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 0u);
    EXPECT_EQ(rig.slotsInUse(), 0);
    EXPECT_EQ(rig.recorderTempo(), 123.0);  // the recorder follows the tempo even when bypassed

    // A held note is not released by a bypassed note-off.
    rig.kernel.shouldBypassEffect = false;
    ASSERT_EQ(rig.run(100, {midi(100, {0x90, 62, 100})}), noErr);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 2);
    rig.kernel.shouldBypassEffect = true;
    ASSERT_EQ(rig.run(200, {midi(200, {0x80, 62, 0}), midi(50, {0x90, 63, 1})}), noErr);
    EXPECT_TRUE(rig.held(62));
    EXPECT_EQ(rig.slot(0).size(), 2u);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);
}

TEST(MidiProcessor, AnEmptyCycleStillRefreshesTempoTransportAndTheRecordersTempo)
{
    KernelRig rig;
    rig.host.tempo = 140.0;
    rig.host.beatPosition = 3.25;
    rig.host.flags = Corvel::TransportStateRecording | Corvel::TransportStateCycling;
    EXPECT_EQ(rig.run(512, {}), noErr);
    EXPECT_EQ(rig.kernel.tempo, 140.0);
    EXPECT_EQ(rig.kernel.hostBeatPosition, 3.25);
    EXPECT_EQ(rig.kernel.transportStateFlags, 12u);
    EXPECT_TRUE(rig.kernel.isPlaying);
    EXPECT_EQ(rig.recorderTempo(), 140.0);
    EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 0u);
    EXPECT_EQ(rig.kernel.recordingsChanged.load(), 0u);
    EXPECT_TRUE(rig.output.received.empty());

    rig.host.tempo = 72.0;
    rig.host.flags = Corvel::TransportStateCycling;
    EXPECT_EQ(rig.run(1024, {}), noErr);
    EXPECT_EQ(rig.kernel.tempo, 72.0);
    EXPECT_EQ(rig.kernel.transportStateFlags, 8u);
    EXPECT_FALSE(rig.kernel.isPlaying);
    EXPECT_EQ(rig.recorderTempo(), 72.0);
}

TEST(MidiProcessor, OtherRenderEventTypesAreSkippedEntirely)
{
    KernelRig rig;
    RenderEvent parameter = midi(10, {0x90, 60, 100});
    parameter.type = RenderEventType::Parameter;
    RenderEvent ramp = midi(20, {0x90, 61, 100});
    ramp.type = RenderEventType::ParameterRamp;
    ASSERT_EQ(rig.run(0, {parameter, ramp}), noErr);
    EXPECT_TRUE(rig.output.received.empty());
    EXPECT_FALSE(rig.held(60));
    EXPECT_FALSE(rig.held(61));
    EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 0u);
    EXPECT_EQ(rig.slotsInUse(), 0);
}

TEST(MidiProcessor, SysExIsPassedOnUnchangedButNeitherRecordedNorAnalysed)
{
    KernelRig rig;
    const std::uint8_t sysEx[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    // A long message that happens to start like a note-on is still not analysed.
    const std::uint8_t longNoteLike[] = {0x90, 60, 100, 0x00};
    ASSERT_EQ(rig.run(0, {RenderEvent::sysEx(10, sysEx, sizeof sysEx, 2),
                          RenderEvent::sysEx(20, longNoteLike, sizeof longNoteLike)}),
              noErr);
    EXPECT_EQ(rig.output.received,
              (std::vector<PassedOn>{passed(10, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, 2),
                                     passed(20, {0x90, 60, 100, 0x00})}));
    EXPECT_FALSE(rig.held(60));
    EXPECT_EQ(rig.kernel.liveRecordingChanged.load(), 0u);
    EXPECT_EQ(rig.kernel.recordingsChanged.load(), 0u);
    EXPECT_EQ(rig.slotsInUse(), 0);

    // Among recorded messages it leaves no trace in the recording, nor does it split it.
    ASSERT_EQ(rig.run(100, {midi(100, {0x90, 62, 100}), RenderEvent::sysEx(50, sysEx, sizeof sysEx),
                            midi(110, {0x80, 62, 0})}),
              noErr);
    const auto events = rig.slot(0);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].data, (MidiBytes{0x90, 62, 100}));
    EXPECT_EQ(events[2].data, (MidiBytes{0x80, 62, 0}));
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 1u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 3);
    ASSERT_EQ(rig.output.received.size(), 5u);
    EXPECT_EQ(rig.output.received[3], passed(50, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
}

TEST(MidiProcessor, NoteTrackingFollowsOnsOffsAndAllNotesOffOnAnyChannel)
{
    KernelRig rig;
    ASSERT_EQ(rig.run(0, {midi(1, {0x90, 60, 100}), midi(2, {0x95, 64, 1}), midi(3, {0x9F, 67, 127}),
                          midi(4, {0x90, 0, 100})}),
              noErr);
    EXPECT_TRUE(rig.held(60));
    EXPECT_TRUE(rig.held(64));
    EXPECT_TRUE(rig.held(67));
    EXPECT_TRUE(rig.held(0));

    // Velocity 0 releases; the channel plays no part.
    ASSERT_EQ(rig.run(10, {midi(10, {0x93, 60, 0}), midi(11, {0x8A, 64, 64})}), noErr);
    EXPECT_FALSE(rig.held(60));
    EXPECT_FALSE(rig.held(64));
    EXPECT_TRUE(rig.held(67));

    // A two-byte note-on has no velocity: a note-off. So is a lone status byte (note 0).
    ASSERT_EQ(rig.run(20, {midi(20, {0x91, 67}), midi(21, {0x90})}), noErr);
    EXPECT_FALSE(rig.held(67));
    EXPECT_FALSE(rig.held(0));

    // Other messages do not touch the notes.
    ASSERT_EQ(rig.run(30, {midi(30, {0x90, 72, 90}), midi(31, {0xA0, 72, 0}), midi(32, {0xC0, 72}),
                           midi(33, {0xE0, 0, 0}), midi(34, {0xD0, 0}), midi(35, {0xB0, 72, 0})}),
              noErr);
    EXPECT_TRUE(rig.held(72));

    // Every event above was stored and passed on exactly as received.
    const auto events = rig.slot(0);
    ASSERT_EQ(events.size(), 1u + 4 + 2 + 2 + 6);
    EXPECT_EQ(events[5].data, (MidiBytes{0x93, 60, 0}));
    EXPECT_EQ(events[7].data, (MidiBytes{0x91, 67}));
    EXPECT_EQ(events[8].data, (MidiBytes{0x90}));
    ASSERT_EQ(rig.output.received.size(), 14u);
    EXPECT_EQ(rig.output.received[4], passed(10, {0x93, 60, 0}));
    EXPECT_EQ(rig.output.received[6], passed(20, {0x91, 67}));
    EXPECT_EQ(rig.output.received[7], passed(21, {0x90}));
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 15);
}

TEST(MidiProcessor, ControllerOneTwentyThreeOnAnyChannelReleasesEverything)
{
    KernelRig rig;
    auto holdSome = [&] {
        ASSERT_EQ(rig.run(0, {midi(1, {0x90, 36, 100}), midi(2, {0x9C, 60, 100}), midi(3, {0x90, 127, 1})}), noErr);
    };
    holdSome();
    ASSERT_EQ(rig.run(10, {midi(10, {0xB0, 120, 0}), midi(11, {0xB0, 121, 0}), midi(12, {0xB7, 120, 0})}), noErr);
    EXPECT_TRUE(rig.held(36));
    EXPECT_TRUE(rig.held(60));
    EXPECT_TRUE(rig.held(127));

    for (std::uint8_t status : {std::uint8_t{0xB0}, std::uint8_t{0xB9}, std::uint8_t{0xBF}}) {
        holdSome();
        ASSERT_EQ(rig.run(20, {midi(20, {status, 123, 0})}), noErr);
        const auto held = rig.kernel.noteDetector->getOnNotes();
        for (int n = 0; n < 128; ++n)
            EXPECT_FALSE(held[static_cast<std::size_t>(n)]) << int(status) << " note " << n;
    }
}

TEST(MidiProcessor, NoteNumbersAbove127AreIgnored)
{
    KernelRig rig;
    ASSERT_EQ(rig.run(0, {midi(1, {0x90, 0x85, 100}), midi(2, {0x90, 0xFF, 100})}), noErr);
    const auto held = rig.kernel.noteDetector->getOnNotes();
    for (int n = 0; n < 128; ++n)
        EXPECT_FALSE(held[static_cast<std::size_t>(n)]) << n;
    EXPECT_EQ(rig.output.received.size(), 2u);
    EXPECT_EQ(rig.slot(0).size(), 3u);
}

TEST(MidiProcessor, BeatPositionCountsFromTheCycleStartAtTheHostTempo)
{
    struct Case {
        float rate;
        double tempo;
        double hostBeat;
        std::int64_t cycleStart;
        std::int64_t offset;
    };
    const Case cases[] = {
        {44100.0f, 120.0, 4.0, 1000, 22050},  // half a second at 2 beats/s: +1 beat
        {48000.0f, 90.0, 0.0, 0, 0},
        {48000.0f, 90.0, 16.5, 96000, 333},
        {44100.0f, 133.0, 2.0, 5000, -441},   // an event before the cycle start
        {96000.0f, 60.0, -4.0, 0, 1},         // a count-in before beat 0
        {22050.0f, 300.0, 1000.0, -70000, 1023},
        {44100.0f, 0.0, 7.0, 0, 1000},       // no tempo: no offset
        {44100.0f, -120.0, 7.0, 0, 22050},
    };
    for (const Case& c : cases) {
        KernelRig rig;
        rig.kernel.setSampleRate(c.rate);
        rig.host.tempo = c.tempo;
        rig.host.beatPosition = c.hostBeat;
        ASSERT_EQ(rig.run(c.cycleStart, {midi(c.cycleStart + c.offset, {0x90, 60, 100})}), noErr);
        const auto events = rig.slot(0);
        ASSERT_EQ(events.size(), 2u);
        const double expected =
            c.hostBeat + (static_cast<double>(c.offset) / static_cast<double>(c.rate)) * (c.tempo / 60.0);
        EXPECT_DOUBLE_EQ(events[1].beatPosition, expected) << c.rate << " " << c.tempo << " " << c.offset;
        EXPECT_EQ(events[1].bpm, c.tempo);
        EXPECT_EQ(events[1].sampleTime, c.cycleStart + c.offset);
    }
}

TEST(MidiProcessor, AnUnusableSampleRateGivesTheCycleBeatAndNoDuration)
{
    for (float rate : {0.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        KernelRig rig;
        rig.kernel.setSampleRate(rate);
        rig.host.beatPosition = 12.0;
        ASSERT_EQ(rig.run(1000, {midi(1000, {0x90, 60, 100}), midi(45100, {0x80, 60, 0})}), noErr);
        const auto events = rig.slot(0);
        ASSERT_EQ(events.size(), 3u) << rate;
        EXPECT_EQ(events[1].beatPosition, 12.0) << rate;
        EXPECT_EQ(events[2].beatPosition, 12.0) << rate;
        EXPECT_EQ(rig.kernel.liveDuration(), 0.0) << rate;
        EXPECT_EQ(rig.kernel.liveEventCount.load(), 3);
        EXPECT_EQ(rig.output.received.size(), 2u) << rate;
        EXPECT_EQ(rig.kernel.midiRecorder->getEventSummary(0).duration, 0.0) << rate;
    }
}

TEST(MidiProcessor, ANonFiniteTempoGivesTheCycleBeatAndIsStillRecorded)
{
    for (double tempo : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()}) {
        KernelRig rig;
        rig.host.tempo = tempo;
        rig.host.beatPosition = 3.0;
        // The event at the cycle start would be 0 × ∞ beats away if computed literally.
        ASSERT_EQ(rig.run(2000, {midi(2000, {0x90, 60, 100}), midi(2500, {0x90, 62, 100})}), noErr);
        const auto events = rig.slot(0);
        ASSERT_EQ(events.size(), 3u) << tempo;
        EXPECT_EQ(events[1].beatPosition, 3.0) << tempo;
        EXPECT_EQ(events[2].beatPosition, 3.0) << tempo;
        EXPECT_EQ(std::isnan(events[1].bpm), std::isnan(tempo));
        EXPECT_EQ(rig.output.received.size(), 2u);
        EXPECT_EQ(rig.kernel.liveDuration(), static_cast<double>(2500.0f / 44100.0f));
    }
}

TEST(MidiProcessor, ANonFiniteHostBeatIsRecordedAsGivenAndPassedOn)
{
    KernelRig rig;
    rig.host.beatPosition = std::numeric_limits<double>::quiet_NaN();
    ASSERT_EQ(rig.run(0, {midi(100, {0x90, 60, 100})}), noErr);
    const auto events = rig.slot(0);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(std::isnan(events[1].beatPosition));
    EXPECT_EQ(rig.output.received.size(), 1u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 2);
}

TEST(MidiProcessor, LiveDurationCountsFromTheAnchorInSinglePrecision)
{
    KernelRig rig;
    ASSERT_EQ(rig.run(400000, {midi(400000, {0x90, 60, 100})}), noErr);
    EXPECT_EQ(rig.kernel.liveDuration(), static_cast<double>(400000.0f / 44100.0f));
    ASSERT_EQ(rig.run(441000, {midi(441000, {0x80, 60, 0})}), noErr);
    EXPECT_DOUBLE_EQ(rig.kernel.liveDuration(), 10.0);
    EXPECT_DOUBLE_EQ(rig.kernel.midiRecorder->getEventSummary(0).duration, 10.0);

    // Several events in one cycle: the values of the last one are published.
    ASSERT_EQ(rig.run(441000, {midi(450000, {0x90, 61, 1}), midi(460000, {0x90, 62, 1}),
                               midi(470000, {0x90, 63, 1})}),
              noErr);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 6);
    EXPECT_EQ(rig.kernel.liveDuration(), static_cast<double>(470000.0f / 44100.0f));

    // After a new sample rate the next recording and the summaries use it.
    rig.kernel.setSampleRate(48000.0f);
    ASSERT_EQ(rig.run(48000, {midi(48000, {0x90, 64, 1})}), noErr);
    EXPECT_EQ(rig.kernel.liveDuration(), 1.0);
    EXPECT_EQ(rig.recorder([](const MIDIRecorder& r) { return r.getEventDetailsByIndex(0).sampleRate; }), 48000.0f);
    EXPECT_EQ(rig.recorder([](const MIDIRecorder& r) { return r.getEventDetailsByIndex(1).sampleRate; }), 44100.0f);
    EXPECT_EQ(rig.kernel.midiRecorder->getEventSummary(0).duration, 1.0);
}

TEST(MidiProcessor, ARecordingKeepsTheSampleRateItStartedWithEvenIfNotYetRead)
{
    KernelRig rig;
    // Nothing reads the recordings between the first event and the new rate.
    ASSERT_EQ(rig.run(0, {midi(44100, {0x90, 60, 100})}), noErr);
    rig.kernel.setSampleRate(88200.0f);
    EXPECT_EQ(rig.recorder([](const MIDIRecorder& r) { return r.getEventDetailsByIndex(0).sampleRate; }), 44100.0f);
    EXPECT_EQ(rig.recorder([](const MIDIRecorder& r) { return r.getSampleRate(); }), 88200.0f);
    EXPECT_DOUBLE_EQ(rig.kernel.midiRecorder->getEventSummary(0).duration, 0.5);

    // The next recording, begun after the change, takes the new rate.
    ASSERT_EQ(rig.run(0, {midi(10, {0x90, 62, 100})}), noErr);
    rig.kernel.setSampleRate(22050.0f);
    EXPECT_EQ(rig.recorder([](const MIDIRecorder& r) { return r.getEventDetailsByIndex(0).sampleRate; }), 88200.0f);
    EXPECT_EQ(rig.recorder([](const MIDIRecorder& r) { return r.getEventDetailsByIndex(1).sampleRate; }), 44100.0f);
}

TEST(MidiProcessor, ChangeFlagsAreRaisedForWhatChanged)
{
    KernelRig rig;
    // First event: both flags.
    ASSERT_EQ(rig.run(0, {midi(10, {0x90, 60, 100})}), noErr);
    EXPECT_EQ(rig.takeRecordingsChanged(), 1u);
    EXPECT_EQ(rig.takeLiveChanged(), 1u);

    // A continuing event: only the live flag, and it stays raised until taken.
    ASSERT_EQ(rig.run(20, {midi(20, {0x80, 60, 0})}), noErr);
    ASSERT_EQ(rig.run(30, {midi(30, {0xB0, 1, 2})}), noErr);
    EXPECT_EQ(rig.takeRecordingsChanged(), 0u);
    EXPECT_EQ(rig.takeLiveChanged(), 1u);
    EXPECT_EQ(rig.takeLiveChanged(), 0u);
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 4);

    // Empty cycles raise nothing.
    ASSERT_EQ(rig.run(40, {}), noErr);
    EXPECT_EQ(rig.takeRecordingsChanged(), 0u);
    EXPECT_EQ(rig.takeLiveChanged(), 0u);

    // A jump back: both flags, with the new count of slots in use.
    ASSERT_EQ(rig.run(0, {midi(5, {0x90, 60, 100})}), noErr);
    EXPECT_EQ(rig.takeRecordingsChanged(), 1u);
    EXPECT_EQ(rig.takeLiveChanged(), 1u);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 2u);

    // Stopped transport: only the live flag.
    rig.host.flags = 0;
    ASSERT_EQ(rig.run(0, {midi(1, {0x90, 61, 100})}), noErr);
    EXPECT_EQ(rig.takeRecordingsChanged(), 0u);
    EXPECT_EQ(rig.takeLiveChanged(), 1u);
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 2u);
}

TEST(MidiProcessor, WithoutAMidiOutputEventsAreStillAnalysedAndRecorded)
{
    KernelRig rig;
    rig.kernel.setMidiOutput(nullptr);
    const std::uint8_t sysEx[] = {0xF0, 0x01, 0xF7};
    ASSERT_EQ(rig.run(0, {midi(100, {0x90, 60, 100}), RenderEvent::sysEx(150, sysEx, sizeof sysEx),
                          midi(200, {0x90, 64, 100})}),
              noErr);
    EXPECT_TRUE(rig.output.received.empty());
    EXPECT_TRUE(rig.held(60));
    EXPECT_TRUE(rig.held(64));
    EXPECT_EQ(rig.kernel.liveEventCount.load(), 3);
    EXPECT_EQ(rig.slot(0).size(), 3u);
}

TEST(MidiProcessor, PassesOnSampleTimeCableAndBytesExactly)
{
    KernelRig rig;
    const std::uint8_t noteOn[] = {0x94, 0x30, 0x7F};
    const std::uint8_t clock[] = {0xF8};
    ASSERT_EQ(rig.run(-64, {RenderEvent::midi(-10, noteOn, 3, 7), RenderEvent::midi(-5, clock, 1, 15)}), noErr);
    EXPECT_EQ(rig.output.received,
              (std::vector<PassedOn>{passed(-10, {0x94, 0x30, 0x7F}, 7), passed(-5, {0xF8}, 15)}));
    const auto events = rig.slot(0);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].sampleTime, -10);
    EXPECT_EQ(events[2].data, (MidiBytes{0xF8}));
}
