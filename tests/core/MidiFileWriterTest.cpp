#include "EventList.h"
#include "MIDIRecorder.h"
#include "MidiFileReader.h"
#include "MidiFileWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using Corvel::EventList;
using Corvel::MIDIRecorder;
using Corvel::MidiBytes;
using Corvel::RecordedMIDIEvent;
using Bytes = std::vector<std::uint8_t>;
using TickedBytes = std::pair<std::uint64_t, Bytes>;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

/// Every event of a file as the project's reader reads it; meta events as FF, type, data.
std::vector<TickedBytes> readBack(const Bytes& file)
{
    const auto result = Corvel::MidiFileReader::read(file);
    EXPECT_TRUE(result.file) << result.error;
    std::vector<TickedBytes> events;
    if (!result.file)
        return events;
    for (const auto& e : result.file->events) {
        const auto bytes = result.file->bytesOf(e);
        Bytes message(bytes.begin(), bytes.end());
        if (e.kind == Corvel::MidiFileEvent::Kind::meta)
            message.insert(message.begin(), {0xFF, e.metaType});
        events.emplace_back(e.tick, std::move(message));
    }
    return events;
}

RecordedMIDIEvent anchor()
{
    return {{0xC0, 0x00}, 0, 120.0, 0.0};
}

RecordedMIDIEvent at(std::int64_t sampleTime, double beat, MidiBytes data = {0x90, 0x3C, 0x64})
{
    return {std::move(data), sampleTime, 120.0, beat};
}

/// The whole file for the given track events (without End of Track).
Bytes fileWithTrack(const Bytes& events)
{
    Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    const auto length = static_cast<std::uint32_t>(events.size() + 4);
    file.push_back(static_cast<std::uint8_t>(length >> 24));
    file.push_back(static_cast<std::uint8_t>(length >> 16));
    file.push_back(static_cast<std::uint8_t>(length >> 8));
    file.push_back(static_cast<std::uint8_t>(length));
    file.insert(file.end(), events.begin(), events.end());
    file.insert(file.end(), {0x00, 0xFF, 0x2F, 0x00});
    return file;
}

Bytes convert(const std::vector<RecordedMIDIEvent>& events)
{
    return MIDIRecorder::convertToMIDIBytes(events);
}

/// The anchor, then one note-on at the given beat: the bytes of the note's delta.
Bytes deltaBytesForBeat(double beat)
{
    const Bytes file = convert({anchor(), at(1000, beat)});
    // header 14 + "MTrk" 4 + length 4, then 00 C0 00, then the delta, then 90 3C 64, then EoT.
    const std::size_t start = 22 + 3;
    const std::size_t end = file.size() - 4 - 3;
    if (file.size() < start + 7 || end < start)
        return {};
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(start), file.begin() + static_cast<std::ptrdiff_t>(end));
}

} // namespace

TEST(MidiFileWriter, ARecordingOfOnlyTheAnchorIsTwentyNineBytes)
{
    const Bytes expected = {'M', 'T', 'h', 'd', 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0,
                            'M', 'T', 'r', 'k', 0x00, 0x00, 0x00, 0x07, 0x00, 0xC0, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    ASSERT_EQ(expected.size(), 29u);
    EXPECT_EQ(convert({anchor()}), expected);
}

TEST(MidiFileWriter, NoEventsGiveAValidTwentySixByteFile)
{
    const Bytes expected = {'M', 'T', 'h', 'd', 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0,
                            'M', 'T', 'r', 'k', 0x00, 0x00, 0x00, 0x04, 0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(convert({}), expected);
    EXPECT_EQ(MIDIRecorder::convertToMIDIBytes(EventList{}), expected);
}

TEST(MidiFileWriter, DeltasFollowBeatPositionsAt480TicksPerQuarter)
{
    const Bytes file = convert({anchor(), at(44100, 1.0, {0x90, 0x3C, 0x64}), at(88200, 2.5, {0x80, 0x3C, 0x00})});
    EXPECT_EQ(file, fileWithTrack({0x00, 0xC0, 0x00, 0x83, 0x60, 0x90, 0x3C, 0x64, 0x85, 0x50, 0x80, 0x3C, 0x00}));
    // The tempo stored with an event plays no part.
    const Bytes otherTempo = convert({{{0xC0, 0x00}, 0, 60.0, 0.0}, {{0x90, 0x3C, 0x64}, 44100, 200.0, 1.0},
                                      {{0x80, 0x3C, 0x00}, 88200, 30.0, 2.5}});
    EXPECT_EQ(otherTempo, file);
}

TEST(MidiFileWriter, DeltasAreVariableLengthQuantitiesMostSignificantGroupFirst)
{
    EXPECT_EQ(deltaBytesForBeat(0.0), (Bytes{0x00}));
    EXPECT_EQ(deltaBytesForBeat(127.0 / 480.0), (Bytes{0x7F}));
    EXPECT_EQ(deltaBytesForBeat(128.0 / 480.0), (Bytes{0x81, 0x00}));
    EXPECT_EQ(deltaBytesForBeat(16383.0 / 480.0), (Bytes{0xFF, 0x7F}));
    EXPECT_EQ(deltaBytesForBeat(16384.0 / 480.0), (Bytes{0x81, 0x80, 0x00}));
    EXPECT_EQ(deltaBytesForBeat(2097151.0 / 480.0), (Bytes{0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(deltaBytesForBeat(2097152.0 / 480.0), (Bytes{0x81, 0x80, 0x80, 0x00}));
    EXPECT_EQ(deltaBytesForBeat(268435455.0 / 480.0), (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(MidiFileWriter, TicksRoundToNearestWithHalvesAwayFromZero)
{
    EXPECT_EQ(deltaBytesForBeat(0.0010416), (Bytes{0x00}));    // 0.499968 ticks
    EXPECT_EQ(deltaBytesForBeat(0.00104167), (Bytes{0x01}));   // 0.5000016 ticks
    EXPECT_EQ(deltaBytesForBeat(1.0 / 64.0), (Bytes{0x08}));   // exactly 7.5 ticks
    EXPECT_EQ(deltaBytesForBeat(3.0 / 64.0), (Bytes{0x17}));   // exactly 22.5 ticks: 23, not 22
    EXPECT_EQ(deltaBytesForBeat(1.0 - 0.4 / 480.0), (Bytes{0x83, 0x60}));
}

TEST(MidiFileWriter, EventBytesAreWrittenAsRecordedWithoutRunningStatusOrAddedEvents)
{
    // A note-on with velocity 0 stays a 9n message; held notes are not closed; repeated
    // statuses are written in full.
    const std::vector<RecordedMIDIEvent> events = {
        anchor(),
        at(10, 0.5, {0x90, 0x3C, 0x64}),
        at(20, 1.0, {0x90, 0x3C, 0x00}),
        at(30, 1.0, {0x90, 0x40, 0x50}),
    };
    EXPECT_EQ(convert(events), fileWithTrack({0x00, 0xC0, 0x00,  //
                                              0x81, 0x70, 0x90, 0x3C, 0x64,  //
                                              0x81, 0x70, 0x90, 0x3C, 0x00,  //
                                              0x00, 0x90, 0x40, 0x50}));
}

TEST(MidiFileWriter, OnlyCompleteChannelMessagesAreWrittenSoEveryFileReadsBack)
{
    const std::pair<MidiBytes, bool> cases[] = {
        {{0x80, 0x3C, 0x00}, true}, {{0x9F, 0x3C, 0x00}, true}, {{0xA1, 0x3C, 0x10}, true},
        {{0xB2, 0x7B, 0x00}, true}, {{0xC3, 0x05}, true}, {{0xD4, 0x40}, true}, {{0xEF, 0x00, 0x7F}, true},
        {{0xF8}, false}, {{0xFA}, false}, {{0xFC}, false}, {{0xFF}, false}, {{0xF7}, false},
        {{0xF2, 0x01, 0x02}, false}, {{0xF1, 0x10}, false}, {{0xF0, 0x7E, 0xF7}, false}, {{}, false},
        {{0x45}, false}, {{0x45, 0x46, 0x47}, false}, {{0x90}, false}, {{0x90, 0x3C}, false},
        {{0xC0, 0x05, 0x40}, false}, {{0x90, 0x3C, 0x91}, false},
    };
    for (const auto& [message, written] : cases) {
        const std::vector<RecordedMIDIEvent> events = {anchor(), at(10, 0.5, {0x90, 0x3C, 0x64}), at(20, 1.0, message),
                                                       at(30, 1.5, {0x80, 0x3C, 0x00})};
        std::vector<TickedBytes> expected = {{0, {0xC0, 0x00}}, {240, {0x90, 0x3C, 0x64}}};
        if (written)
            expected.push_back({480, message.toVector()});
        expected.push_back({720, {0x80, 0x3C, 0x00}});
        EXPECT_EQ(readBack(convert(events)), expected) << testing::PrintToString(message.toVector());
    }
}

TEST(MidiFileWriter, WithTempoAddsTheTimeSignatureAndEveryTempoChangeAtItsTick)
{
    // {beat, bpm}: unusable tempos change nothing, nor do messages that are left out; a change
    // goes just before its event.
    const std::pair<double, double> played[] = {{0.5, 100.0}, {1.0, 90.0},  {1.5, 90.0},     {2.0, notANumber},
                                                {2.5, 0.0},   {3.0, -5.0},  {3.5, 1.0e-9},   {4.0, 1.0e12},
                                                {4.5, 89.99999}};
    std::vector<RecordedMIDIEvent> events = {{{0xC0, 0x00}, 0, 100.0, 0.0}};
    for (const auto& [beat, bpm] : played)
        events.push_back({{0x90, 0x3C, 0x64}, static_cast<std::int64_t>(beat * 1000), bpm, beat});
    events.insert(events.begin() + 3, {{0xF8}, 1100, 60.0, 1.1});
    const Bytes plain = convert(events);
    const Bytes withTempo = Corvel::MidiFileWriter::write(events, {.withTempo = true});

    auto metas = [](std::vector<TickedBytes> all) {
        std::erase_if(all, [](const TickedBytes& e) { return e.second[0] != 0xFF; });
        return all;
    };
    const std::vector<TickedBytes> expectedMetas = {
        {0, {0xFF, 0x58, 0x04, 0x02, 0x18, 0x08}},  {0, {0xFF, 0x51, 0x09, 0x27, 0xC0}},   // 4/4, 600000 us
        {480, {0xFF, 0x51, 0x0A, 0x2C, 0x2B}},      {1680, {0xFF, 0x51, 0xFF, 0xFF, 0xFF}},  // 666667, slowest
        {1920, {0xFF, 0x51, 0x00, 0x00, 0x01}},     {2160, {0xFF, 0x51, 0x0A, 0x2C, 0x2B}},
    };
    EXPECT_EQ(metas(readBack(withTempo)), expectedMetas);
    std::vector<TickedBytes> channel = readBack(withTempo);
    std::erase_if(channel, [](const TickedBytes& e) { return e.second[0] == 0xFF; });
    EXPECT_EQ(channel, readBack(plain));
    EXPECT_TRUE(metas(readBack(plain)).empty());
    EXPECT_EQ(Corvel::MidiFileWriter::write(EventList{}, {.withTempo = true}),
              fileWithTrack({0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}));
}

TEST(MidiFileWriter, EventsAreOrderedBySampleTime)
{
    // Given out of order; a negative sample time sorts before the anchor.
    const std::vector<RecordedMIDIEvent> events = {
        at(88200, 2.0, {0x80, 0x3E, 0x00}),
        anchor(),
        at(44100, 1.0, {0x90, 0x3E, 0x64}),
        at(-100, 0.0, {0xB0, 0x07, 0x64}),
    };
    EXPECT_EQ(convert(events), fileWithTrack({0x00, 0xB0, 0x07, 0x64,  //
                                              0x00, 0xC0, 0x00,  //
                                              0x83, 0x60, 0x90, 0x3E, 0x64,  //
                                              0x83, 0x60, 0x80, 0x3E, 0x00}));
}

TEST(MidiFileWriter, EventsAtEqualSampleTimesKeepTheTicksOfTheirOwnBeats)
{
    const std::vector<RecordedMIDIEvent> events = {anchor(), at(1000, 1.0, {0x90, 0x3C, 0x64}),
                                                   at(1000, 1.5, {0x90, 0x40, 0x64}),
                                                   at(1000, 1.5, {0x90, 0x43, 0x64})};
    const Bytes inGivenOrder = fileWithTrack({0x00, 0xC0, 0x00, 0x83, 0x60, 0x90, 0x3C, 0x64, 0x81, 0x70, 0x90,
                                              0x40, 0x64, 0x00, 0x90, 0x43, 0x64});
    EXPECT_EQ(convert(events), inGivenOrder);
}

TEST(MidiFileWriter, ATickNeverGoesBackwardsOrBelowZero)
{
    // Beat positions that move back while the sample time increases: delta 0, never a wrapped
    // 32-bit value (a five-byte quantity), and later deltas count from the tick written.
    const std::vector<RecordedMIDIEvent> backwards = {anchor(), at(100, 2.0, {0x90, 0x3C, 0x64}),
                                                      at(200, 1.0, {0x90, 0x3E, 0x64}),
                                                      at(300, 3.0, {0x90, 0x40, 0x64})};
    EXPECT_EQ(convert(backwards), fileWithTrack({0x00, 0xC0, 0x00, 0x87, 0x40, 0x90, 0x3C, 0x64, 0x00, 0x90,
                                                 0x3E, 0x64, 0x83, 0x60, 0x90, 0x40, 0x64}));

    // A count-in before beat 0 is written at tick 0.
    const std::vector<RecordedMIDIEvent> countIn = {at(-50000, -2.0, {0x90, 0x24, 0x64}),
                                                    at(-100, -0.01, {0x80, 0x24, 0x00}), anchor(),
                                                    at(100, 1.0, {0x90, 0x3C, 0x64})};
    EXPECT_EQ(convert(countIn), fileWithTrack({0x00, 0x90, 0x24, 0x64, 0x00, 0x80, 0x24, 0x00, 0x00, 0xC0, 0x00,
                                               0x83, 0x60, 0x90, 0x3C, 0x64}));
}

TEST(MidiFileWriter, ANonFiniteBeatIsWrittenAtThePreviousTick)
{
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
        const std::vector<RecordedMIDIEvent> events = {anchor(), at(100, 1.0, {0x90, 0x3C, 0x64}),
                                                       at(200, bad, {0x90, 0x3E, 0x64}),
                                                       at(300, 2.0, {0x90, 0x40, 0x64})};
        EXPECT_EQ(convert(events), fileWithTrack({0x00, 0xC0, 0x00, 0x83, 0x60, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E,
                                                  0x64, 0x83, 0x60, 0x90, 0x40, 0x64}))
            << bad;
    }
}

TEST(MidiFileWriter, AHugeBeatGivesAtMostTheLargestFourByteDelta)
{
    for (double huge : {1.0e6, 1.0e300, std::numeric_limits<double>::max()}) {
        const std::vector<TickedBytes> expected = {{0, {0xC0, 0x00}}, {0x0FFFFFFF, {0x90, 0x3C, 0x64}}};
        EXPECT_EQ(readBack(convert({anchor(), at(100, huge)})), expected) << huge;
    }
}

TEST(MidiFileWriter, LeavesItsInputUntouched)
{
    const std::vector<RecordedMIDIEvent> events = {at(500, 1.0), anchor(), at(-5, 0.0)};
    const std::vector<RecordedMIDIEvent> copy = events;
    convert(events);
    EXPECT_EQ(events, copy);
}
