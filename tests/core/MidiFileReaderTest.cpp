#include "MidiFileReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using Corvel::MidiFile;
using Corvel::MidiFileReader;
using Bytes = std::vector<std::uint8_t>;
using Kind = Corvel::MidiFileEvent::Kind;

namespace {

Bytes chunk(const char* tag, const Bytes& body)
{
    const auto n = body.size();
    Bytes b{std::uint8_t(tag[0]),  std::uint8_t(tag[1]),  std::uint8_t(tag[2]), std::uint8_t(tag[3]),
            std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)};
    b.resize(8 + n);  // filled in place: GCC 12 takes an insert here for a copy past the end
    std::copy(body.begin(), body.end(), b.begin() + 8);
    return b;
}

/// A file of one track a body (its end of track added).
MidiFile read(int format, std::uint16_t division, std::vector<Bytes> bodies)
{
    Bytes b = chunk(
        "MThd",
        {0, std::uint8_t(format), 0, std::uint8_t(bodies.size()), std::uint8_t(division >> 8), std::uint8_t(division)});
    for (Bytes& body : bodies) {
        body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
        const Bytes track = chunk("MTrk", body);
        b.insert(b.end(), track.begin(), track.end());
    }
    auto result = MidiFileReader::read(b);
    EXPECT_TRUE(result.file.has_value()) << result.error;
    return result.file ? std::move(*result.file) : MidiFile{};
}

}  // namespace

TEST(MidiFileReader, SmpteDivisionPlacesTicksInSecondsAndBeatsByTheTempo)
{
    // 25 frames of 40 ticks: 1000 ticks per second. 90 BPM from the start.
    const MidiFile f = read(0, (0x100 - 25) << 8 | 40,
                            {{0x00, 0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2B,  // 666667 us a quarter
                              0x87, 0x68, 0x90, 60, 1}});                // tick 1000
    EXPECT_EQ(std::tuple(f.ticksPerQuarterNote, f.framesPerSecond, f.ticksPerFrame), std::tuple(0, 25.0, 40));
    EXPECT_DOUBLE_EQ(f.events.back().seconds, 1.0);
    EXPECT_NEAR(f.events.back().beats, 1.5, 1e-6);
    EXPECT_NEAR(read(0, (0x100 - 29) << 8 | 100, {{}}).framesPerSecond, 29.97, 0.001);
}

TEST(MidiFileReader, SystemExclusiveMetaEventsRunningStatusAndSequencesOneAfterTheOther)
{
    const MidiFile f = read(0, 96, {{0x00, 0x90, 60,   100,  0x00, 0xF0, 0x03, 0x7E, 0x01, 0xF7,  // sysex
                                     0x00, 0xF7, 0x02, 0xF8, 0xFA,       // escape: raw real-time bytes
                                     0x00, 0xFF, 0x01, 0x02, 'h',  'i',  // text
                                     0x00, 62,   100}});                 // running status survives
    const std::vector<std::tuple<Kind, int, Bytes>> expected = {{Kind::channel, 0, {0x90, 60, 100}},
                                                                {Kind::sysEx, 0, {0xF0, 0x7E, 0x01, 0xF7}},
                                                                {Kind::sysExEscape, 0, {0xF8, 0xFA}},
                                                                {Kind::meta, 1, {'h', 'i'}},
                                                                {Kind::channel, 0, {0x90, 62, 100}}};
    std::vector<std::tuple<Kind, int, Bytes>> events;
    for (const auto& e : f.events)
        events.emplace_back(e.kind, e.metaType, Bytes(f.bytesOf(e).begin(), f.bytesOf(e).end()));
    EXPECT_EQ(events, expected);

    // Format 2: each track starts where the one before ends.
    const MidiFile two = read(2, 96, {{0x10, 0x90, 60, 1}, {0x08, 0x90, 62, 1}});
    ASSERT_EQ(two.events.size(), 2u);
    EXPECT_EQ(std::pair(two.events[0].tick, two.events[1].tick), std::pair(std::uint64_t{16}, std::uint64_t{24}));
}
