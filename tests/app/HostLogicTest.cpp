#include "BarGrid.h"
#include "ChordDescription.h"
#include "DemoPerformance.h"
#include "FilePlayback.h"
#include "FilePlayer.h"
#include "NoteDetector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <atomic>
#include <set>
#include <thread>
#include <string>
#include <vector>

using Corvel::MidiFile;
using Corvel::NoteDetector;

namespace {

/// The notes the demo holds just after `beats`.
Corvel::HeldNotes heldAfter(double beats)
{
    Corvel::HeldNotes held{};
    for (const auto& e : DemoPerformance::events()) {
        if (e.beats > beats)
            break;
        held[e.bytes[1]] = e.bytes[0] == 0x90;
    }
    return held;
}

/// A file with the given channel messages at beats, with a tempo map.
MidiFile fileWith(const std::vector<std::pair<double, std::vector<std::uint8_t>>>& messages,
                  const std::vector<std::pair<double, double>>& tempos = {})
{
    MidiFile f;
    f.ticksPerQuarterNote = 480;
    for (const auto& [beats, bpm] : tempos)
        f.tempoMap.addChangeAtBeats(beats, bpm);
    for (const auto& [beats, bytes] : messages) {
        auto& e = f.events.emplace_back();
        e.tick = static_cast<std::uint64_t>(beats * 480);
        e.beats = beats;
        e.seconds = f.tempoMap.secondsAt(beats);
        e.dataOffset = static_cast<std::uint32_t>(f.data.size());
        e.dataLength = static_cast<std::uint32_t>(bytes.size());
        f.data.insert(f.data.end(), bytes.begin(), bytes.end());
    }
    return f;
}

} // namespace

TEST(DemoPerformance, NamesItsChordsAndOffersScalesAndModes)
{
    NoteDetector detector;
    std::set<Corvel::ScaleType> kinds;
    for (int bar = 0; bar < 4; ++bar) {
        const Corvel::HeldNotes held = heldAfter(bar * 4.0);
        const auto chord = detector.detectChordInformation(held.data());
        EXPECT_EQ(Corvel::noteName(chord.root) + " " + Corvel::chordKindName(chord.kind),
                  DemoPerformance::chordsByBar()[static_cast<std::size_t>(bar)])
            << "bar " << bar + 1;
        for (const auto& s : NoteDetector::guessScale(held.data()))
            kinds.insert(s.type);
    }
    EXPECT_EQ(kinds.size(), 2u) << "both scales and modes";

    // Every note is released before the next bar line.
    Corvel::HeldNotes sounding{};
    double checkedBarLine = -1.0;
    for (const auto& e : DemoPerformance::events()) {
        if (std::fmod(e.beats, 4.0) == 0.0 && e.beats != checkedBarLine && (checkedBarLine = e.beats) >= 0.0)
            for (bool h : sounding)
                ASSERT_FALSE(h) << "a note is held over the bar line at beat " << e.beats;
        sounding[e.bytes[1]] = e.bytes[0] == 0x90;
    }
}

TEST(BarGrid, BarsAndBeatsFollowTimeSignatures)
{
    const BarGrid common;
    EXPECT_EQ(common.barBeat(0.0), "1.1");
    EXPECT_EQ(common.barBeat(5.5), "2.2");
    EXPECT_EQ(common.barBeat(7.9999999999), "3.1");  // a hair below a bar line counts as on it
    EXPECT_DOUBLE_EQ(common.nextBarLineAfter(4.0), 8.0);
    EXPECT_DOUBLE_EQ(common.nextBarLineAfter(3.5), 4.0);

    // Two bars of 3/4, then 6/8 (beats in eighths), then a 4/4 change in the middle of a bar.
    const BarGrid mixed({{0.0, 3, 4}, {6.0, 6, 8}, {10.0, 4, 4}});
    EXPECT_EQ(mixed.barBeat(3.0), "2.1");
    EXPECT_EQ(mixed.barBeat(6.0), "3.1");
    EXPECT_EQ(mixed.barBeat(7.5), "3.4");
    EXPECT_EQ(mixed.barBeat(9.0), "4.1");
    EXPECT_EQ(mixed.barBeat(10.0), "5.1");
    EXPECT_EQ(mixed.barBeat(14.0), "6.1");
    EXPECT_DOUBLE_EQ(mixed.nextBarLineAfter(9.5), 10.0);
    EXPECT_EQ(mixed.placeOf(7.0).denominator, 8);
}

TEST(FilePlayer, ManyEventsAtOneInstantComeInBoundedStretchesAndFarPositionsSaturate)
{
    // 10,000 notes on one sample after a first one: stretches of at most 4096 events, those at
    // the instant a stretch fills up in stretches of no length, every event once and in order.
    std::vector<std::pair<double, std::vector<std::uint8_t>>> dense = {{0.0, {0x90, 1, 1}}};
    for (int i = 0; i < 10'000; ++i)
        dense.push_back({0.5, {0x90, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(1 + i / 128)}});
    const MidiFile f = fileWith(dense);
    for (const int passes : {1, 2}) {
        FilePlayer player(f, 48000.0, passes);
        FilePlayer::Stretch s;
        std::vector<std::vector<std::uint8_t>> played;
        int emptyStretches = 0;
        while (player.next(48000, s)) {
            ASSERT_LE(s.events.size(), FilePlayer::maximumEventsPerStretch);
            emptyStretches += s.segment.length == 0 ? 1 : 0;
            for (const auto& e : s.events) {
                ASSERT_LT(e.offset, std::max(s.segment.length, 1));
                played.emplace_back(e.bytes.begin(), e.bytes.end());
            }
        }
        EXPECT_EQ(emptyStretches, 2 * passes);  // 4096 + 4096 + 1808 at the instant
        std::vector<std::vector<std::uint8_t>> expected;
        for (int pass = 0; pass < passes; ++pass)
            for (const auto& [beats, bytes] : dense)
                expected.push_back(bytes);
        EXPECT_EQ(played, expected) << passes << " passes";
    }

    // A position beyond any sample count: lengths saturate, and the playing time says how far.
    MidiFile far = fileWith({{0.0, {0x90, 60, 100}}});
    far.events.push_back(far.events.front());
    far.events.back().seconds = 1.0e300;
    far.events.back().beats = 1.0e300;
    const FilePlayer player(far, 48000.0, 100);
    EXPECT_GT(player.passLengthInSamples(), std::int64_t{1} << 61);
    EXPECT_GT(player.playingSeconds(), 1.0e15);
}

TEST(FilePlayer, PlaysPassesWithTheFilesTempoAndBeatsAndSplitsAtTempoChanges)
{
    // 120 BPM, then 60 BPM from beat 2; notes at beats 0, 1, 3 and 5.
    const MidiFile f = fileWith({{0.0, {0x90, 60, 100}}, {1.0, {0x80, 60, 0}}, {3.0, {0x90, 62, 100}}, {5.0, {0x80, 62, 0}}},
                                {{2.0, 60.0}});
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
        EXPECT_TRUE(p.isPlaying);
        EXPECT_TRUE(p.isLooping);
        // Each pass starts a sample earlier on the host's timeline than the one before.
        const std::int64_t passStart = 2 - s.pass;
        if (s.pass != previousPass) {
            EXPECT_EQ(previousEnd, 7 * 48000 + passStart + 1);
            EXPECT_EQ(p.timeInSamples, passStart);
            previousPass = s.pass;
        } else {
            EXPECT_EQ(p.timeInSamples, previousEnd);
        }
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

    // One pass ends with the last event and does not loop.
    FilePlayer once(f, 48000.0, 1);
    std::int64_t total = 0;
    while (once.next(1000, s)) {
        EXPECT_FALSE(s.segment.position.isLooping);
        total += s.segment.length;
    }
    EXPECT_EQ(total, 4 * 48000 + 1);  // beat 5 is at 1 s + 3 s
    EXPECT_DOUBLE_EQ(once.playingSeconds(), (4 * 48000 + 1) / 48000.0);
    EXPECT_DOUBLE_EQ(player.playingSeconds(), 3 * 7.0);  // every pass runs to its loop end

    // Nothing to play: meta events only.
    MidiFile metaOnly;
    metaOnly.events.push_back({});
    metaOnly.events.back().kind = Corvel::MidiFileEvent::Kind::meta;
    FilePlayer silent(metaOnly, 48000.0, 2);
    EXPECT_FALSE(silent.hasEvents());
    EXPECT_FALSE(silent.next(256, s));
}

TEST(FilePlayback, TheRenderThreadPlaysWhileTheMessageThreadOpensAndServicesFiles)
{
    // Two files told apart by their channels, opened and closed while the render thread plays:
    // each player it plays holds one file, and no player is freed while it plays it (the asan
    // and tsan presets watch the hand-over).
    const auto first = std::make_shared<const MidiFile>(fileWith({{0.0, {0x90, 60, 100}}, {1.0, {0x80, 60, 0}}}));
    const auto second = std::make_shared<const MidiFile>(fileWith({{0.0, {0x91, 70, 100}}, {0.5, {0x81, 70, 0}}}));
    FilePlayback playback(48000.0);
    std::atomic<bool> stop{false};
    std::atomic<int> stretches{0}, wrongFile{0};
    std::thread render([&] {
        while (!stop.load()) {
            if (!playback.begin())
                continue;
            int channel = -1;  // a player, and every fresh one it goes on with, is of one file
            for (int i = 0; i < 64; ++i) {
                const auto* s = playback.next(256, true);
                if (s == nullptr) {
                    if (!playback.returnToStart())
                        break;
                    continue;
                }
                for (const auto& e : s->events) {
                    const int c = e.bytes[0] & 0x0F;
                    wrongFile += channel >= 0 && c != channel ? 1 : 0;
                    channel = c;
                }
                ++stretches;
            }
            playback.returnToStart();
        }
    });
    for (int round = 0; round < 300; ++round) {
        playback.open(round % 3 == 2 ? nullptr : round % 3 == 0 ? first : second);
        for (int i = 0; i < 5; ++i) {
            playback.service();
            std::this_thread::yield();
        }
    }
    stop = true;
    render.join();
    EXPECT_GT(stretches.load(), 0);
    EXPECT_EQ(wrongFile.load(), 0);
}

