#include "MidiFileReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using Corvel::MidiFile;
using Corvel::MidiFileEvent;
using Corvel::MidiFileReader;
using Bytes = std::vector<std::uint8_t>;
using Kind = MidiFileEvent::Kind;

namespace {

Bytes track(Bytes events)
{
    events.insert(events.end(), {0x00, 0xFF, 0x2F, 0x00});
    const auto n = static_cast<std::uint32_t>(events.size());
    events.insert(
        events.begin(),
        {'M', 'T', 'r', 'k', std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)});
    return events;
}

/// One header and `tracks`, each already a chunk.
Bytes file(int format, std::uint16_t division, const std::vector<Bytes>& tracks)
{
    Bytes b = {'M',
               'T',
               'h',
               'd',
               0,
               0,
               0,
               6,
               0,
               std::uint8_t(format),
               0,
               std::uint8_t(tracks.size()),
               std::uint8_t(division >> 8),
               std::uint8_t(division)};
    for (const Bytes& t : tracks)
        b.insert(b.end(), t.begin(), t.end());
    return b;
}

MidiFile readOk(const Bytes& bytes)
{
    auto result = MidiFileReader::read(bytes);
    EXPECT_TRUE(result.file.has_value()) << result.error;
    return result.file ? std::move(*result.file) : MidiFile{};
}

Bytes bytesOf(const MidiFile& f, const MidiFileEvent& e)
{
    auto span = f.bytesOf(e);
    return {span.begin(), span.end()};
}

}  // namespace

TEST(MidiFileReader, SmpteDivisionPlacesTicksInSecondsAndBeatsByTheTempo)
{
    // 25 frames of 40 ticks: 1000 ticks per second. 90 BPM from the start.
    const auto division = static_cast<std::uint16_t>((0x100 - 25) << 8 | 40);
    const Bytes t = track({0x00, 0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2B,  // 666667 us a quarter
                           0x87, 0x68, 0x90, 60, 1});                 // tick 1000
    const MidiFile f = readOk(file(0, division, {t}));
    EXPECT_EQ(f.ticksPerQuarterNote, 0);
    EXPECT_DOUBLE_EQ(f.framesPerSecond, 25.0);
    EXPECT_EQ(f.ticksPerFrame, 40);
    const auto& note = f.events.back();
    EXPECT_DOUBLE_EQ(note.seconds, 1.0);
    EXPECT_NEAR(note.beats, 1.5, 1e-6);

    const auto drop = static_cast<std::uint16_t>((0x100 - 29) << 8 | 100);
    EXPECT_NEAR(readOk(file(0, drop, {track({})})).framesPerSecond, 29.97, 0.001);
}

TEST(MidiFileReader, SystemExclusiveMetaEventsAndTheirRunningStatus)
{
    const Bytes t = track({0x00, 0x90, 60,   100,  0x00, 0xF0, 0x03, 0x7E, 0x01, 0xF7,  // sysex
                           0x00, 0xF7, 0x02, 0xF8, 0xFA,                                // escape: raw real-time bytes
                           0x00, 0xFF, 0x01, 0x02, 'h',  'i',                           // text
                           0x00, 62,   100});                                           // running status survives
    const MidiFile f = readOk(file(0, 96, {t}));
    ASSERT_EQ(f.events.size(), 5u);
    EXPECT_EQ(f.events[1].kind, Kind::sysEx);
    EXPECT_EQ(bytesOf(f, f.events[1]), (Bytes{0xF0, 0x7E, 0x01, 0xF7}));
    EXPECT_EQ(f.events[2].kind, Kind::sysExEscape);
    EXPECT_EQ(bytesOf(f, f.events[2]), (Bytes{0xF8, 0xFA}));
    EXPECT_EQ(f.events[3].kind, Kind::meta);
    EXPECT_EQ(f.events[3].metaType, 0x01);
    EXPECT_EQ(bytesOf(f, f.events[3]), (Bytes{'h', 'i'}));
    EXPECT_EQ(bytesOf(f, f.events[4]), (Bytes{0x90, 62, 100}));
}
