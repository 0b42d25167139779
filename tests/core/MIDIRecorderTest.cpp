#include "MIDIRecorder.h"

#include <gtest/gtest.h>

#include <vector>

using Corvel::MidiBytes;
using Corvel::MIDIEventInfo;
using Corvel::MIDIEventType;
using Corvel::MIDIRecorder;

TEST(MIDIRecorder, InfoForEventClassifiesEveryKindOfMessage)
{
    using enum MIDIEventType;
    const struct {
        std::vector<std::uint8_t> bytes;
        MIDIEventInfo expected;
    } cases[] = {
        {{0x90, 0x3C, 0x64}, {NoteOn, 0, 60, 100}},
        {{0x9F, 0x7F, 0x01}, {NoteOn, 15, 127, 1}},
        {{0x90, 0x3C, 0x00}, {NoteOff, 0, 60, 0}},
        {{0x83, 0x40, 0x7F}, {NoteOff, 3, 64, 127}},
        {{0xA2, 0x3C, 0x50}, {PolyPressure, 2, 60, 80}},
        {{0xB1, 0x07, 0x64}, {ControlChange, 1, 7, 100}},
        {{0xB0, 0x78, 0x00}, {ControlChange, 0, 120, 0}},
        {{0xB5, 0x7B, 0x00}, {AllNotesOff, 5, 123, 0}},
        {{0xC9, 0x15}, {ProgramChange, 9, 21, 0}},
        {{0xDE, 0x33}, {ChannelPressure, 14, 51, 0}},
        {{0xE4, 0x00, 0x40}, {PitchBend, 4, 0, 64}},
        // Every 0xFn status is SysEx; its low nibble is still reported as the channel.
        {{0xF8}, {SysEx, 8, 0, 0}},
        {{0xF2, 0x10, 0x20}, {SysEx, 2, 0x10, 0x20}},
        {{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {SysEx, 0, 0x7E, 0x7F}},
        // Missing data bytes count as 0, so a short note-on is a note-off.
        {{0x90}, {NoteOff, 0, 0, 0}},
        {{0x91, 0x3C}, {NoteOff, 1, 60, 0}},
        // Below 0x80 there is no status: Other, though channel and data bytes are still read.
        {{0x45, 0x10, 0x20}, {Other, 5, 0x10, 0x20}},
        {{0x7F}, {Other, 15, 0, 0}},
        {{}, {Other, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MIDIRecorder::infoForEvent({MidiBytes(c.bytes), 0, 0.0, 0.0}), c.expected) << "row " << &c - cases;
}
