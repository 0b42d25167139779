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

RecordedMIDIEvent anchor(double bpm) { return {{0xC0, 0x00}, 0, bpm, 0.0}; }

/// A new live recording the way the kernel starts one: shift, then initialise slot 0.
void startNewRecording(MIDIRecorder& recorder, std::int64_t startTime)
{
    recorder.moveBuffersDownOne();
    recorder.initialiseRecording(0, startTime);
}

void expectUnused(const MIDIRecorder& recorder, int index)
{
    const Recording& slot = recorder.getEventDetailsByIndex(index);
    EXPECT_EQ(slot.startTime, 0) << "slot " << index;
    EXPECT_EQ(slot.sampleRate, 0.0f) << "slot " << index;
    EXPECT_TRUE(slot.events.empty()) << "slot " << index;
}

} // namespace

TEST(MIDIRecorder, StartsWithEveryConfiguredSlotUnused)
{
    const MIDIRecorder recorder(5, true);
    EXPECT_EQ(recorder.getRecordingCount(), 5);
    EXPECT_EQ(recorder.getSavedEventCount(), 0);
    EXPECT_EQ(recorder.getTempo(), 0.0);
    EXPECT_EQ(recorder.getSampleRate(), 44100.0f);
    for (int i = 0; i < 5; ++i) {
        expectUnused(recorder, i);
        EXPECT_EQ(recorder.getEventSummary(i).eventCount, 0u);
    }
}

TEST(MIDIRecorder, InitialisingStartsTheSlotAnewWithOrWithoutTheAnchorAndAppendsGoToSlotZero)
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
    EXPECT_EQ(slot.events.toVector(), std::vector<RecordedMIDIEvent>{anchor(133.5)});
    const EventSummary summary = recorder.getEventSummary(0);
    EXPECT_EQ(summary.startTime, slot.startTime);
    EXPECT_EQ(summary.eventCount, 1u);
    EXPECT_EQ(summary.duration, 0.0);
    EXPECT_EQ(recorder.getSavedEventCount(), 1);

    recorder.initialiseRecording(1, 9);
    std::vector<RecordedMIDIEvent> expected = {anchor(133.5), noteOn(300, 60, 1.0), noteOn(300, 64, 1.0),
                                               {{0x80, 60, 0}, 900, 121.0, 2.5}};
    for (std::size_t i = 1; i < expected.size(); ++i)
        recorder.appendToLiveRecording(expected[i]);
    EXPECT_EQ(slot.events.toVector(), expected);
    EXPECT_EQ(recorder.getEventSummary(0).eventCount, 4u);
    EXPECT_EQ(recorder.getEventDetailsByIndex(1).events.size(), 1u);

    // Again: the events go, the current tempo and rate are taken.
    recorder.setTempo(90.0);
    recorder.setSampleRate(22050.0f);
    recorder.initialiseRecording(0, 6000);
    EXPECT_EQ(slot.startTime, 6000);
    EXPECT_EQ(slot.sampleRate, 22050.0f);
    EXPECT_EQ(slot.events.toVector(), std::vector<RecordedMIDIEvent>{anchor(90.0)});

    MIDIRecorder bare(3, false);
    bare.setSampleRate(96000.0f);
    const Recording& plain = bare.initialiseRecording(1, 1'700'000'000'123);
    EXPECT_EQ(plain.startTime, 1'700'000'000'123);
    EXPECT_EQ(plain.sampleRate, 96000.0f);
    EXPECT_TRUE(plain.events.empty());
    EXPECT_EQ(bare.getEventSummary(1).startTime, 1'700'000'000'123);
    EXPECT_EQ(bare.getEventSummary(1).duration, 0.0);
    EXPECT_EQ(bare.getSavedEventCount(), 1);
}

TEST(MIDIRecorder, SlotsInUseAndLookupByStartTime)
{
    MIDIRecorder recorder(5, false);
    recorder.initialiseRecording(3, 42);
    recorder.initialiseRecording(0, 43);
    EXPECT_EQ(recorder.getSavedEventCount(), 2);  // wherever the slots are
    recorder.initialiseRecording(1, -7);          // only positive start times count
    EXPECT_EQ(recorder.getSavedEventCount(), 2);

    MIDIRecorder r(4, true);
    EXPECT_EQ(r.getEventDetailsByStartTime(0), &r.getEventDetailsByIndex(0));  // 0: the first unused slot
    r.initialiseRecording(0, 1000);
    r.appendToLiveRecording(noteOn(10, 60));
    startNewRecording(r, 2000);
    r.appendToLiveRecording(noteOn(20, 62));
    EXPECT_EQ(r.getEventDetailsByStartTime(1000), &r.getEventDetailsByIndex(1));
    EXPECT_EQ(r.getEventDetailsByStartTime(1000)->events.back(), noteOn(10, 60));
    EXPECT_EQ(r.getEventDetailsByStartTime(2000), &r.getEventDetailsByIndex(0));
    EXPECT_EQ(r.getEventDetailsByStartTime(1500), nullptr);
    EXPECT_EQ(static_cast<const MIDIRecorder&>(r).getEventDetailsByStartTime(1000), &r.getEventDetailsByIndex(1));
    EXPECT_EQ(r.getEventDetailsByStartTime(0), &r.getEventDetailsByIndex(2));

    // Started in the same millisecond: the newer, lower slot is found.
    startNewRecording(r, 2000);
    r.appendToLiveRecording(noteOn(5, 72));
    EXPECT_EQ(r.getEventDetailsByStartTime(2000), &r.getEventDetailsByIndex(0));
    startNewRecording(r, 3000);
    EXPECT_EQ(r.getEventDetailsByStartTime(0), nullptr);
}

TEST(MIDIRecorder, DurationSpansFirstToLastEventAtTheRecordersCurrentRateInSinglePrecision)
{
    MIDIRecorder recorder(5, true);
    recorder.initialiseRecording(0, 1);
    // The first played note comes late; the duration still counts from the anchor at 0.
    recorder.appendToLiveRecording(noteOn(400000, 60));
    recorder.appendToLiveRecording(noteOn(441000, 64));
    EXPECT_EQ(recorder.getEventSummary(0).eventCount, 3u);
    EXPECT_DOUBLE_EQ(recorder.getEventSummary(0).duration, 10.0);
    // The slot keeps its rate; the summary uses the recorder's rate now.
    recorder.setSampleRate(22050.0f);
    EXPECT_EQ(recorder.getEventDetailsByIndex(0).sampleRate, 44100.0f);
    EXPECT_DOUBLE_EQ(recorder.getEventSummary(0).duration, 20.0);
    for (float rate : {0.0f, -1.0f, NAN, INFINITY}) {
        recorder.setSampleRate(rate);
        EXPECT_EQ(recorder.getEventSummary(0).duration, 0.0) << rate;
    }

    MIDIRecorder bare(1, false);
    bare.setSampleRate(48000.0f);
    bare.initialiseRecording(0, 1);
    bare.appendToLiveRecording(noteOn(48000, 60));
    EXPECT_EQ(bare.getEventSummary(0).duration, 0.0);
    bare.appendToLiveRecording(noteOn(48000 + 1000, 60));
    EXPECT_EQ(bare.getEventSummary(0).duration, static_cast<double>(1000.0f / 48000.0f));
}

TEST(MIDIRecorder, MovingDownShiftsEveryRecordingAndDropsTheOldest)
{
    MIDIRecorder recorder(5, true);
    // Six recordings, each with one note whose number identifies it.
    for (int k = 0; k < 6; ++k) {
        recorder.setSampleRate(44100.0f + static_cast<float>(k));
        startNewRecording(recorder, 1000 + k);
        recorder.appendToLiveRecording(noteOn(100 * k, static_cast<std::uint8_t>(60 + k)));
        EXPECT_EQ(recorder.getSavedEventCount(), std::min(k + 1, 5));
        for (int unused = k + 1; unused < 5; ++unused)
            expectUnused(recorder, unused);
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

    // A shift on its own leaves slot 0 cleared.
    recorder.moveBuffersDownOne();
    expectUnused(recorder, 0);
    EXPECT_EQ(recorder.getEventDetailsByIndex(1).startTime, 1005);
    EXPECT_EQ(recorder.getEventDetailsByIndex(4).startTime, 1002);
    EXPECT_EQ(recorder.getSavedEventCount(), 4);

    // A single slot is just cleared.
    MIDIRecorder single(1, true);
    single.initialiseRecording(0, 99);
    single.appendToLiveRecording(noteOn(10, 60));
    single.moveBuffersDownOne();
    expectUnused(single, 0);
    EXPECT_EQ(single.getSavedEventCount(), 0);
}

TEST(MIDIRecorder, InfoForEventClassifiesEveryKindOfMessage)
{
    using enum MIDIEventType;
    const struct { std::vector<std::uint8_t> bytes; MIDIEventInfo expected; } cases[] = {
        {{0x90, 0x3C, 0x64}, {NoteOn, 0, 60, 100}},          {{0x9F, 0x7F, 0x01}, {NoteOn, 15, 127, 1}},
        {{0x90, 0x3C, 0x00}, {NoteOff, 0, 60, 0}},           {{0x83, 0x40, 0x7F}, {NoteOff, 3, 64, 127}},
        {{0xA2, 0x3C, 0x50}, {PolyPressure, 2, 60, 80}},     {{0xB1, 0x07, 0x64}, {ControlChange, 1, 7, 100}},
        {{0xB0, 0x78, 0x00}, {ControlChange, 0, 120, 0}},    {{0xB0, 0x79, 0x00}, {ControlChange, 0, 121, 0}},
        {{0xB5, 0x7B, 0x00}, {AllNotesOff, 5, 123, 0}},      {{0xC9, 0x15}, {ProgramChange, 9, 21, 0}},
        {{0xDE, 0x33}, {ChannelPressure, 14, 51, 0}},        {{0xE4, 0x00, 0x40}, {PitchBend, 4, 0, 64}},
        // Every 0xFn status is SysEx; its low nibble is still reported as the channel.
        {{0xF8}, {SysEx, 8, 0, 0}}, {{0xFF}, {SysEx, 15, 0, 0}}, {{0xF2, 0x10, 0x20}, {SysEx, 2, 0x10, 0x20}},
        {{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {SysEx, 0, 0x7E, 0x7F}},
        // Missing data bytes count as 0, so a short note-on is a note-off.
        {{0x90}, {NoteOff, 0, 0, 0}}, {{0x91, 0x3C}, {NoteOff, 1, 60, 0}}, {{0xB0}, {ControlChange, 0, 0, 0}},
        // Below 0x80 there is no status: Other, though channel and data bytes are still read.
        {{0x45, 0x10, 0x20}, {Other, 5, 0x10, 0x20}}, {{0x7F}, {Other, 15, 0, 0}}, {{0x00}, {Other, 0, 0, 0}},
        {{}, {Other, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const RecordedMIDIEvent event{MidiBytes(c.bytes), 0, 0.0, 0.0};
        EXPECT_EQ(MIDIRecorder::infoForEvent(event), c.expected) << ::testing::PrintToString(event);
    }
    // The event's other fields play no part.
    EXPECT_EQ(MIDIRecorder::infoForEvent(RecordedMIDIEvent{{0x92, 0x30, 0x10}, -5, NAN, -3.0}),
              (MIDIEventInfo{NoteOn, 2, 0x30, 0x10}));
}
