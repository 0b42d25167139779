// The app's host logic without JUCE: bars and beats, a file played in passes, the transport.

#include "BarGrid.h"
#include "FilePlayer.h"
#include "HostTransport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

using Corvel::MidiFile;

namespace {

constexpr double rate = 48000.0;
constexpr int block = 256;

/// The segments of one block, in order.
std::vector<HostSegment> playBlock(HostTransport& transport, int length = block)
{
    std::vector<HostSegment> segments;
    for (int done = 0; done < length;) {
        segments.push_back(transport.nextSegment(done, length));
        done += segments.back().length;
    }
    return segments;
}

}  // namespace

TEST(BarGrid, BarsAndBeatsFollowTimeSignatures)
{
    // 4/4 throughout (a hair below a bar line counts as on it); then two bars of 3/4, 6/8 (beats in
    // eighths) and a 4/4 change in the middle of a bar.
    const BarGrid common, mixed({{0.0, 3, 4}, {6.0, 6, 8}, {10.0, 4, 4}});
    const std::tuple<const BarGrid&, double, const char*> places[] = {
        {common, 0.0, "1.1"}, {common, 5.5, "2.2"}, {common, 7.9999999999, "3.1"},
        {mixed, 3.0, "2.1"},  {mixed, 6.0, "3.1"},  {mixed, 7.5, "3.4"},
        {mixed, 9.0, "4.1"},  {mixed, 10.0, "5.1"}, {mixed, 14.0, "6.1"}};
    for (const auto& [grid, beat, text] : places)
        EXPECT_EQ(grid.barBeat(beat), text) << beat;
    EXPECT_DOUBLE_EQ(common.nextBarLineAfter(4.0), 8.0);
    EXPECT_DOUBLE_EQ(common.nextBarLineAfter(3.5), 4.0);
    EXPECT_DOUBLE_EQ(mixed.nextBarLineAfter(9.5), 10.0);
    EXPECT_EQ(mixed.placeOf(7.0).denominator, 8);
}

TEST(FilePlayer, PlaysPassesWithTheFilesTempoAndBeatsAndSplitsAtTempoChanges)
{
    // 120 BPM, then 60 BPM from beat 2; notes at beats 0, 1, 3 and 5.
    MidiFile f;
    f.ticksPerQuarterNote = 480;
    f.tempoMap.addChangeAtBeats(2.0, 60.0);
    for (const auto& [beats, bytes] : {std::pair(0.0, std::vector<std::uint8_t>{0x90, 60, 100}),
                                       {1.0, {0x80, 60, 0}},
                                       {3.0, {0x90, 62, 100}},
                                       {5.0, {0x80, 62, 0}}}) {
        auto& e = f.events.emplace_back();
        e.tick = static_cast<std::uint64_t>(beats * 480);
        e.beats = beats;
        e.seconds = f.tempoMap.secondsAt(beats);
        e.dataOffset = static_cast<std::uint32_t>(f.data.size());
        e.dataLength = static_cast<std::uint32_t>(bytes.size());
        f.data.insert(f.data.end(), bytes.begin(), bytes.end());
    }
    FilePlayer player(f, 48000.0, 3);
    // Loop end: the first bar line after beat 5 is beat 8 = 1 s + 6 s.
    EXPECT_DOUBLE_EQ(player.loopEndInBeats(), 8.0);
    EXPECT_EQ(player.passLengthInSamples(), 7 * 48000);

    FilePlayer::Stretch s;
    std::vector<std::vector<double>> beatsByPass(3);
    int previousPass = 0;
    std::int64_t previousEnd = 2;
    while (player.next(256, s)) {
        const HostPosition& p = s.segment.position;
        EXPECT_TRUE(p.isPlaying && p.isLooping);
        // Each pass starts a sample earlier on the host's timeline than the one before.
        const std::int64_t passStart = 2 - s.pass;
        EXPECT_EQ(p.timeInSamples, s.pass != previousPass ? passStart : previousEnd);
        EXPECT_EQ(previousEnd, s.pass != previousPass ? 7 * 48000 + passStart + 1 : previousEnd);
        previousPass = s.pass;
        const std::int64_t inPass = p.timeInSamples - passStart;
        // No stretch spans the tempo change at 1 s.
        EXPECT_TRUE(inPass >= 48000 || inPass + s.segment.length <= 48000);
        EXPECT_DOUBLE_EQ(p.bpm, inPass < 48000 ? 120.0 : 60.0);
        EXPECT_NEAR(p.ppqPosition, f.tempoMap.beatsAt(inPass / 48000.0), 1e-12);
        for (const auto& e : s.events) {
            // Where the host's beat position puts the event is where the file has it.
            const double hostBeat = p.ppqPosition + e.offset / 48000.0 * p.bpm / 60.0;
            EXPECT_NEAR(hostBeat, e.beats, 1e-9);
            beatsByPass[static_cast<std::size_t>(s.pass)].push_back(e.beats);
        }
        previousEnd = p.timeInSamples + s.segment.length;
    }
    for (const auto& beats : beatsByPass)
        EXPECT_EQ(beats, (std::vector<double>{0.0, 1.0, 3.0, 5.0}));
}

TEST(HostTransport, LoopWrapsExactlyAtTheLoopEndAndJumpsBackInSamples)
{
    HostTransport t(rate, 120.0);
    t.setLoopBars(2);  // 8 beats = 192000 samples
    t.setLooping(true);
    t.play();
    std::int64_t played = 0;
    int wraps = 0, loopEnds = 0;
    std::int64_t previousTime = -1;
    for (int b = 0; b < 2000; ++b) {
        const auto segments = playBlock(t);
        int total = 0;
        for (const auto& s : segments) {
            EXPECT_TRUE(s.position.isLooping && s.position.loopEndPpq == 8.0 && s.position.ppqPosition < 8.0);
            if (s.position.timeInSamples < previousTime) {
                ++wraps;
                EXPECT_EQ(std::pair(s.position.timeInSamples, s.position.ppqPosition), std::pair(std::int64_t{0}, 0.0));
                EXPECT_EQ(played % 192000, 0) << "the loop ends after exactly two bars of samples";
            }
            previousTime = s.position.timeInSamples;
            EXPECT_TRUE(!s.endsAtLoopEnd || s.position.timeInSamples + s.length == 192000);
            loopEnds += s.endsAtLoopEnd;
            total += s.length;
            played += s.length;
        }
        EXPECT_EQ(total, block);
        EXPECT_LE(segments.size(), 2u);
    }
    EXPECT_EQ(wraps, static_cast<int>(2000 * block / 192000));
    EXPECT_EQ(loopEnds, wraps) << "the segment before each wrap says it ends at the loop end";
    // Shortening the loop below the play head takes it back to the start at once.
    HostTransport late(rate, 120.0);
    late.play();
    for (int b = 0; b < 400; ++b)  // past beat 4
        playBlock(late);
    late.setLoopBars(1);
    late.setLooping(true);
    EXPECT_EQ(playBlock(late)[0].position.timeInSamples, 0);
}

TEST(HostTransport, ReturnToStartAndTempoChanges)
{
    HostTransport t(rate, 120.0);
    t.play();
    for (int b = 0; b < 100; ++b)
        playBlock(t);
    t.returnToStart();
    auto s = playBlock(t)[0].position;
    EXPECT_EQ(s.timeInSamples, 0);
    EXPECT_DOUBLE_EQ(s.ppqPosition, 0.0);
    // At 60 BPM the beats go half as fast, from where they were; the sample clock goes on.
    for (int b = 0; b < 93; ++b)  // 93 * 256 + 256 samples = exactly one beat at 120
        playBlock(t);
    t.setTempo(60.0);
    s = playBlock(t)[0].position;
    EXPECT_EQ(s.timeInSamples, 94 * block);
    EXPECT_DOUBLE_EQ(s.ppqPosition, 94 * block / 24000.0);
    EXPECT_DOUBLE_EQ(s.bpm, 60.0);
    const auto after = playBlock(t)[0].position;
    EXPECT_NEAR(after.ppqPosition - s.ppqPosition, block / 48000.0, 1e-12);

    t.setTempo(1e9);
    EXPECT_EQ(t.tempo(), HostTransport::maximumTempo);
    t.setTempo(std::nan(""));
    EXPECT_EQ(t.tempo(), HostTransport::maximumTempo);
    t.setLoopBars(0);
    EXPECT_EQ(t.loopBars(), 1);
}
