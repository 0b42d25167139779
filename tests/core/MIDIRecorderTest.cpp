#include "MIDIRecorder.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ostream>
#include <vector>

using Corvel::EventSummary;
using Corvel::MIDIEventInfo;
using Corvel::MIDIEventType;
using Corvel::MIDIRecorder;
using Corvel::MidiBytes;
using Corvel::RecordedMIDIEvent;
using Corvel::Recording;

namespace Corvel {
// Readable failure messages.
[[maybe_unused]] static void PrintTo(const MIDIEventInfo& i, std::ostream* os)
{
    *os << "{type " << static_cast<int>(i.type) << ", channel " << int(i.channel) << ", data " << int(i.data1)
        << " " << int(i.data2) << "}";
}
} // namespace Corvel

namespace {

RecordedMIDIEvent noteOn(std::int64_t sampleTime, std::uint8_t note, double beat = 0.0, double bpm = 120.0)
{
    return {{0x90, note, 0x64}, sampleTime, bpm, beat};
}

RecordedMIDIEvent programChangeAnchor(double bpm)
{
    return {{0xC0, 0x00}, 0, bpm, 0.0};
}

/// Starts a new live recording the way the kernel does: shift, then initialise slot 0.
void startNewRecording(MIDIRecorder& recorder, std::int64_t startTime)
{
    recorder.moveBuffersDownOne();
    recorder.initialiseRecording(0, startTime);
}

} // namespace

TEST(MIDIRecorder, StartsWithEveryConfiguredSlotUnused)
{
    MIDIRecorder recorder(5, true);
    EXPECT_EQ(recorder.getRecordingCount(), 5);
    EXPECT_EQ(recorder.getSavedEventCount(), 0);
    EXPECT_EQ(recorder.getTempo(), 0.0);
    EXPECT_EQ(recorder.getSampleRate(), 44100.0f);
    for (int i = 0; i < 5; ++i) {
        const Recording& slot = recorder.getEventDetailsByIndex(i);
        EXPECT_EQ(slot.startTime, 0) << i;
        EXPECT_EQ(slot.sampleRate, 0.0f) << i;
        EXPECT_TRUE(slot.events.empty()) << i;
        const EventSummary summary = recorder.getEventSummary(i);
        EXPECT_EQ(summary.startTime, 0);
        EXPECT_EQ(summary.eventCount, 0u);
        EXPECT_EQ(summary.duration, 0.0);
    }
}

TEST(MIDIRecorder, InitialisingWithTheAnchorAddsOneProgramChangeAtTheTimelineStart)
{
    MIDIRecorder recorder(5, true);
    recorder.setTempo(133.5);
    recorder.setSampleRate(48000.0f);

    const std::int64_t before = MIDIRecorder::currentWallClockMilliseconds();
    Recording& slot = recorder.initialiseRecording(0);
    const std::int64_t after = MIDIRecorder::currentWallClockMilliseconds();

    EXPECT_EQ(&slot, &recorder.getEventDetailsByIndex(0));
    EXPECT_GE(slot.startTime, before);
    EXPECT_LE(slot.startTime, after);
    EXPECT_EQ(slot.sampleRate, 48000.0f);
    ASSERT_EQ(slot.events.size(), 1u);
    EXPECT_EQ(slot.events[0], programChangeAnchor(133.5));

    const EventSummary summary = recorder.getEventSummary(0);
    EXPECT_EQ(summary.startTime, slot.startTime);
    EXPECT_EQ(summary.eventCount, 1u);
    EXPECT_EQ(summary.duration, 0.0);
    EXPECT_EQ(recorder.getSavedEventCount(), 1);
}

TEST(MIDIRecorder, InitialisingWithoutTheAnchorLeavesTheSlotEmpty)
{
    MIDIRecorder recorder(3, false);
    recorder.setSampleRate(96000.0f);
    Recording& slot = recorder.initialiseRecording(1, 1'700'000'000'123);
    EXPECT_EQ(slot.startTime, 1'700'000'000'123);
    EXPECT_EQ(slot.sampleRate, 96000.0f);
    EXPECT_TRUE(slot.events.empty());

    const EventSummary summary = recorder.getEventSummary(1);
    EXPECT_EQ(summary.eventCount, 0u);
    EXPECT_EQ(summary.duration, 0.0);
    EXPECT_EQ(recorder.getSavedEventCount(), 1);
}

TEST(MIDIRecorder, ReinitialisingASlotDropsItsEventsAndTakesTheCurrentTempoAndRate)
{
    MIDIRecorder recorder(2, true);
    recorder.setTempo(100.0);
    recorder.initialiseRecording(0, 5000);
    recorder.appendToLiveRecording(noteOn(100, 60));
    recorder.appendToLiveRecording(noteOn(200, 62));
    ASSERT_EQ(recorder.getEventDetailsByIndex(0).events.size(), 3u);

    recorder.setTempo(90.0);
    recorder.setSampleRate(22050.0f);
    recorder.initialiseRecording(0, 6000);
    const Recording& slot = recorder.getEventDetailsByIndex(0);
    EXPECT_EQ(slot.startTime, 6000);
    EXPECT_EQ(slot.sampleRate, 22050.0f);
    ASSERT_EQ(slot.events.size(), 1u);
    EXPECT_EQ(slot.events[0], programChangeAnchor(90.0));
}

TEST(MIDIRecorder, AppendsGoToSlotZeroInOrder)
{
    MIDIRecorder recorder(3, true);
    recorder.initialiseRecording(0, 10);
    recorder.initialiseRecording(1, 9);
    const std::vector<RecordedMIDIEvent> played = {noteOn(300, 60, 1.0), noteOn(300, 64, 1.0),
                                                   {{0x80, 60, 0}, 900, 121.0, 2.5}};
    for (const auto& e : played)
        recorder.appendToLiveRecording(e);

    const auto events = recorder.getEventDetailsByIndex(0).events.toVector();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].data, (MidiBytes{0xC0, 0x00}));
    EXPECT_EQ(std::vector<RecordedMIDIEvent>(events.begin() + 1, events.end()), played);
    EXPECT_EQ(recorder.getEventDetailsByIndex(1).events.size(), 1u);
    EXPECT_EQ(recorder.getEventSummary(0).eventCount, 4u);
}

TEST(MIDIRecorder, SavedEventCountCountsSlotsInUseWhereverTheyAre)
{
    MIDIRecorder recorder(5, false);
    recorder.initialiseRecording(3, 42);
    EXPECT_EQ(recorder.getSavedEventCount(), 1);
    recorder.initialiseRecording(0, 43);
    EXPECT_EQ(recorder.getSavedEventCount(), 2);
    // Only positive start times mark a slot as in use.
    recorder.initialiseRecording(1, -7);
    EXPECT_EQ(recorder.getSavedEventCount(), 2);
}

TEST(MIDIRecorder, LookupByStartTimeFindsTheFirstMatchingSlot)
{
    MIDIRecorder recorder(5, true);
    recorder.initialiseRecording(0, 1000);
    recorder.appendToLiveRecording(noteOn(10, 60));
    startNewRecording(recorder, 2000);
    recorder.appendToLiveRecording(noteOn(20, 62));

    Recording* older = recorder.getEventDetailsByStartTime(1000);
    ASSERT_NE(older, nullptr);
    EXPECT_EQ(older, &recorder.getEventDetailsByIndex(1));
    EXPECT_EQ(older->events.back(), noteOn(10, 60));

    Recording* newer = recorder.getEventDetailsByStartTime(2000);
    EXPECT_EQ(newer, &recorder.getEventDetailsByIndex(0));
    EXPECT_EQ(recorder.getEventDetailsByStartTime(1500), nullptr);

    const MIDIRecorder& constRecorder = recorder;
    EXPECT_EQ(constRecorder.getEventDetailsByStartTime(1000), older);
}

TEST(MIDIRecorder, RecordingsStartedInTheSameMillisecondResolveToTheNewerLowerSlot)
{
    MIDIRecorder recorder(5, true);
    recorder.initialiseRecording(0, 777);
    recorder.appendToLiveRecording(noteOn(10, 60));
    startNewRecording(recorder, 777);
    recorder.appendToLiveRecording(noteOn(5, 72));

    Recording* found = recorder.getEventDetailsByStartTime(777);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, &recorder.getEventDetailsByIndex(0));
    EXPECT_EQ(found->events.back(), noteOn(5, 72));
}

TEST(MIDIRecorder, LookupWithStartTimeZeroYieldsTheFirstUnusedSlot)
{
    MIDIRecorder recorder(4, true);
    EXPECT_EQ(recorder.getEventDetailsByStartTime(0), &recorder.getEventDetailsByIndex(0));

    recorder.initialiseRecording(0, 100);
    startNewRecording(recorder, 200);
    Recording* unused = recorder.getEventDetailsByStartTime(0);
    ASSERT_NE(unused, nullptr);
    EXPECT_EQ(unused, &recorder.getEventDetailsByIndex(2));
    EXPECT_TRUE(unused->events.empty());

    startNewRecording(recorder, 300);
    startNewRecording(recorder, 400);
    EXPECT_EQ(recorder.getEventDetailsByStartTime(0), nullptr);
}

TEST(MIDIRecorder, DurationCountsFromTheAnchorUsingTheRecordersCurrentSampleRate)
{
    MIDIRecorder recorder(5, true);
    recorder.setSampleRate(44100.0f);
    recorder.initialiseRecording(0, 1);
    // The first played note comes late; the duration still counts from sample time 0.
    recorder.appendToLiveRecording(noteOn(400000, 60));
    recorder.appendToLiveRecording(noteOn(441000, 64));

    EventSummary summary = recorder.getEventSummary(0);
    EXPECT_EQ(summary.eventCount, 3u);
    EXPECT_DOUBLE_EQ(summary.duration, 10.0);

    // The slot keeps the rate it was started with; the summary uses the recorder's rate now.
    recorder.setSampleRate(22050.0f);
    EXPECT_EQ(recorder.getEventDetailsByIndex(0).sampleRate, 44100.0f);
    summary = recorder.getEventSummary(0);
    EXPECT_DOUBLE_EQ(summary.duration, 20.0);
}

TEST(MIDIRecorder, DurationWithoutAnchorSpansFirstToLastEventInSinglePrecision)
{
    MIDIRecorder recorder(1, false);
    recorder.setSampleRate(48000.0f);
    recorder.initialiseRecording(0, 1);
    recorder.appendToLiveRecording(noteOn(48000, 60));
    EXPECT_EQ(recorder.getEventSummary(0).duration, 0.0);
    recorder.appendToLiveRecording(noteOn(48000 + 1000, 60));
    EXPECT_EQ(recorder.getEventSummary(0).duration, static_cast<double>(1000.0f / 48000.0f));
}

TEST(MIDIRecorder, DurationIsZeroRatherThanInfiniteWhenTheSampleRateIsUnusable)
{
    MIDIRecorder recorder(1, true);
    recorder.initialiseRecording(0, 1);
    recorder.appendToLiveRecording(noteOn(44100, 60));
    for (float rate : {0.0f, NAN, INFINITY}) {
        recorder.setSampleRate(rate);
        const double duration = recorder.getEventSummary(0).duration;
        EXPECT_TRUE(std::isfinite(duration)) << rate;
        EXPECT_EQ(duration, 0.0) << rate;
    }
}

TEST(MIDIRecorder, MovingDownShiftsEveryRecordingAndDropsTheOldest)
{
    MIDIRecorder recorder(5, true);
    // Six recordings, each with one played note whose number identifies it.
    for (int k = 0; k < 6; ++k) {
        recorder.setSampleRate(44100.0f + static_cast<float>(k));
        if (k == 0)
            recorder.initialiseRecording(0, 1000);
        else
            startNewRecording(recorder, 1000 + k);
        recorder.appendToLiveRecording(noteOn(100 * k, static_cast<std::uint8_t>(60 + k)));
        EXPECT_EQ(recorder.getSavedEventCount(), std::min(k + 1, 5));
    }

    for (int slot = 0; slot < 5; ++slot) {
        const int k = 5 - slot;  // newest first
        const Recording& r = recorder.getEventDetailsByIndex(slot);
        EXPECT_EQ(r.startTime, 1000 + k) << slot;
        EXPECT_EQ(r.sampleRate, 44100.0f + static_cast<float>(k)) << slot;
        ASSERT_EQ(r.events.size(), 2u) << slot;
        EXPECT_EQ(r.events[1], noteOn(100 * k, static_cast<std::uint8_t>(60 + k))) << slot;
    }
    EXPECT_EQ(recorder.getEventDetailsByStartTime(1000), nullptr);

    // A shift on its own leaves slot 0 cleared and the rest moved.
    recorder.moveBuffersDownOne();
    const Recording& cleared = recorder.getEventDetailsByIndex(0);
    EXPECT_EQ(cleared.startTime, 0);
    EXPECT_EQ(cleared.sampleRate, 0.0f);
    EXPECT_TRUE(cleared.events.empty());
    EXPECT_EQ(recorder.getEventDetailsByIndex(1).startTime, 1005);
    EXPECT_EQ(recorder.getEventDetailsByIndex(4).startTime, 1002);
    EXPECT_EQ(recorder.getEventDetailsByStartTime(1001), nullptr);
    EXPECT_EQ(recorder.getSavedEventCount(), 4);
}

TEST(MIDIRecorder, MovingDownKeepsPartlyFilledSlotsInStep)
{
    MIDIRecorder recorder(5, false);
    recorder.initialiseRecording(0, 50);
    recorder.appendToLiveRecording(noteOn(1, 61));
    recorder.moveBuffersDownOne();
    EXPECT_EQ(recorder.getSavedEventCount(), 1);
    EXPECT_EQ(recorder.getEventDetailsByIndex(1).startTime, 50);
    ASSERT_EQ(recorder.getEventDetailsByIndex(1).events.size(), 1u);
    EXPECT_EQ(recorder.getEventDetailsByIndex(1).events[0], noteOn(1, 61));
    for (int i : {0, 2, 3, 4}) {
        EXPECT_EQ(recorder.getEventDetailsByIndex(i).startTime, 0) << i;
        EXPECT_TRUE(recorder.getEventDetailsByIndex(i).events.empty()) << i;
    }
}

TEST(MIDIRecorder, MovingDownWithOneSlotOnlyClearsIt)
{
    MIDIRecorder recorder(1, true);
    recorder.initialiseRecording(0, 99);
    recorder.appendToLiveRecording(noteOn(10, 60));
    recorder.moveBuffersDownOne();

    const Recording& slot = recorder.getEventDetailsByIndex(0);
    EXPECT_EQ(slot.startTime, 0);
    EXPECT_EQ(slot.sampleRate, 0.0f);
    EXPECT_TRUE(slot.events.empty());
    EXPECT_EQ(recorder.getSavedEventCount(), 0);
    EXPECT_EQ(recorder.getEventDetailsByStartTime(99), nullptr);
}

namespace {

MIDIEventInfo info(std::initializer_list<std::uint8_t> bytes)
{
    return MIDIRecorder::infoForEvent(RecordedMIDIEvent{MidiBytes(bytes), 0, 0.0, 0.0});
}

MIDIEventInfo expected(MIDIEventType type, std::uint8_t channel, std::uint8_t data1, std::uint8_t data2)
{
    return {type, channel, data1, data2};
}

} // namespace

TEST(MIDIRecorder, InfoForEventClassifiesChannelMessages)
{
    using enum MIDIEventType;
    EXPECT_EQ(info({0x90, 0x3C, 0x64}), expected(NoteOn, 0, 60, 100));
    EXPECT_EQ(info({0x9F, 0x7F, 0x01}), expected(NoteOn, 15, 127, 1));
    EXPECT_EQ(info({0x90, 0x3C, 0x00}), expected(NoteOff, 0, 60, 0));
    EXPECT_EQ(info({0x83, 0x40, 0x7F}), expected(NoteOff, 3, 64, 127));
    EXPECT_EQ(info({0xA2, 0x3C, 0x50}), expected(PolyPressure, 2, 60, 80));
    EXPECT_EQ(info({0xB1, 0x07, 0x64}), expected(ControlChange, 1, 7, 100));
    EXPECT_EQ(info({0xB0, 0x78, 0x00}), expected(ControlChange, 0, 120, 0));
    EXPECT_EQ(info({0xB0, 0x79, 0x00}), expected(ControlChange, 0, 121, 0));
    EXPECT_EQ(info({0xB5, 0x7B, 0x00}), expected(AllNotesOff, 5, 123, 0));
    EXPECT_EQ(info({0xC0, 0x00}), expected(ProgramChange, 0, 0, 0));
    EXPECT_EQ(info({0xC9, 0x15}), expected(ProgramChange, 9, 21, 0));
    EXPECT_EQ(info({0xDE, 0x33}), expected(ChannelPressure, 14, 51, 0));
    EXPECT_EQ(info({0xE4, 0x00, 0x40}), expected(PitchBend, 4, 0, 64));
}

TEST(MIDIRecorder, InfoForEventClassifiesSystemShortAndEmptyMessages)
{
    using enum MIDIEventType;
    EXPECT_EQ(info({0xF8}), expected(SysEx, 8, 0, 0));
    EXPECT_EQ(info({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}), expected(SysEx, 0, 0x7E, 0x7F));
    EXPECT_EQ(info({0xFF}).type, SysEx);
    EXPECT_EQ(info({0xF2, 0x10, 0x20}), expected(SysEx, 2, 0x10, 0x20));
    // A lone status byte: the missing data bytes count as 0.
    EXPECT_EQ(info({0x90}), expected(NoteOff, 0, 0, 0));
    EXPECT_EQ(info({0x91, 0x3C}), expected(NoteOff, 1, 60, 0));
    EXPECT_EQ(info({0xB0}), expected(ControlChange, 0, 0, 0));
    // Below 0x80 there is no status: Other, though channel and data bytes are still read.
    EXPECT_EQ(info({0x45, 0x10, 0x20}), expected(Other, 5, 0x10, 0x20));
    EXPECT_EQ(info({0x7F}).type, Other);
    EXPECT_EQ(info({0x00}).type, Other);
    EXPECT_EQ(info({}), expected(Other, 0, 0, 0));
    // Other fields of the event play no part.
    EXPECT_EQ(MIDIRecorder::infoForEvent(RecordedMIDIEvent{{0x92, 0x30, 0x10}, -5, NAN, -3.0}),
              expected(NoteOn, 2, 0x30, 0x10));
}
