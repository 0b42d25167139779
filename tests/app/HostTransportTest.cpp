#include "DemoPlayer.h"
#include "HostTransport.h"
#include "MidiProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

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

/// The kernel hosted by the transport and the demo, the way the app drives the audio unit:
/// per segment, the segment's position is what the host says and the demo's events are its
/// MIDI.
struct KernelRig final : Corvel::MusicalContextSource, Corvel::TransportStateSource {
    Corvel::MidiProcessor kernel;
    HostTransport transport{rate, 120.0};
    DemoPlayer demo;
    HostPosition current;

    KernelRig()
    {
        kernel.setMusicalContextSource(this);
        kernel.setTransportStateSource(this);
        kernel.setSampleRate(static_cast<float>(rate));
        kernel.setWallClock(&countingClock);
    }

    static std::int64_t countingClock() noexcept
    {
        static std::int64_t next = 1'700'000'000'000;
        return ++next;
    }

    bool musicalContext(double& tempo, double& beat) noexcept override
    {
        tempo = current.bpm;
        beat = current.ppqPosition;
        return true;
    }
    bool transportState(std::uint64_t& flags) noexcept override
    {
        flags = (current.isPlaying ? Corvel::TransportStateMoving : 0u)
            | (current.isLooping ? Corvel::TransportStateCycling : 0u);
        return true;
    }

    void runBlocks(int count)
    {
        for (int b = 0; b < count; ++b)
            for (const HostSegment& s : playBlock(transport)) {
                current = s.position;
                std::vector<Corvel::RenderEvent> events;
                demo.render(s, rate, [&](int offset, const std::uint8_t* bytes, int length) {
                    events.push_back(Corvel::RenderEvent::midi(s.position.timeInSamples + offset - s.offset, bytes,
                                                               static_cast<std::uint16_t>(length)));
                });
                ASSERT_EQ(kernel.process(s.position.timeInSamples, events), Corvel::noErr);
            }
    }

    /// Each recording's events as (beat, bytes), oldest recording first.
    std::vector<std::vector<std::pair<double, std::vector<std::uint8_t>>>> recordings()
    {
        return kernel.midiRecorder->read([](const Corvel::MIDIRecorder& r) {
            std::vector<std::vector<std::pair<double, std::vector<std::uint8_t>>>> all;
            for (int i = r.getRecordingCount(); i-- > 0;) {
                const auto& slot = r.getEventDetailsByIndex(i);
                if (slot.startTime == 0)
                    continue;
                auto& out = all.emplace_back();
                for (const auto& e : slot.events.toVector())
                    out.emplace_back(e.beatPosition, std::vector<std::uint8_t>(e.data.begin(), e.data.end()));
            }
            return all;
        });
    }
};

} // namespace

TEST(HostTransport, PlayingMovesSamplesAndBeatsTogetherAndStoppedStandsStill)
{
    HostTransport t(rate, 120.0);
    auto stopped = playBlock(t);
    ASSERT_EQ(stopped.size(), 1u);
    EXPECT_FALSE(stopped[0].position.isPlaying);
    EXPECT_EQ(playBlock(t)[0].position.timeInSamples, 0);

    t.play();
    for (int b = 0; b < 10; ++b) {
        const auto s = playBlock(t);
        ASSERT_EQ(s.size(), 1u);
        EXPECT_TRUE(s[0].position.isPlaying);
        EXPECT_EQ(s[0].position.timeInSamples, b * block);
        EXPECT_DOUBLE_EQ(s[0].position.ppqPosition, b * block / 24000.0);  // 120 BPM: 24000 samples a beat
    }
    t.stop();
    const auto held = playBlock(t)[0].position;
    EXPECT_FALSE(held.isPlaying);
    EXPECT_EQ(held.timeInSamples, 10 * block);
    EXPECT_EQ(playBlock(t)[0].position.timeInSamples, 10 * block);
}

TEST(HostTransport, LoopWrapsExactlyAtTheLoopEndAndJumpsBackInSamples)
{
    HostTransport t(rate, 120.0);
    t.setLoopBars(2);  // 8 beats = 192000 samples
    t.setLooping(true);
    t.play();
    std::int64_t played = 0;
    int wraps = 0;
    std::int64_t previousTime = -1;
    for (int b = 0; b < 2000; ++b) {
        const auto segments = playBlock(t);
        int total = 0;
        for (const auto& s : segments) {
            EXPECT_TRUE(s.position.isLooping);
            EXPECT_DOUBLE_EQ(s.position.loopEndPpq, 8.0);
            EXPECT_LT(s.position.ppqPosition, 8.0);
            if (s.position.timeInSamples < previousTime) {
                ++wraps;
                EXPECT_EQ(s.position.timeInSamples, 0);
                EXPECT_DOUBLE_EQ(s.position.ppqPosition, 0.0);
                EXPECT_EQ(played % 192000, 0) << "the loop ends after exactly two bars of samples";
            }
            previousTime = s.position.timeInSamples;
            if (s.endsAtLoopEnd)
                EXPECT_EQ(s.position.timeInSamples + s.length, 192000);
            total += s.length;
            played += s.length;
        }
        EXPECT_EQ(total, block);
        EXPECT_LE(segments.size(), 2u);
    }
    EXPECT_EQ(wraps, static_cast<int>(2000 * block / 192000));

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

TEST(HostTransport, TwoBarLoopPlayedThreeTimesLeavesThreeRecordingsWithEventsAtTheSameBeats)
{
    KernelRig rig;
    rig.transport.setLoopBars(2);
    rig.transport.setLooping(true);
    rig.transport.play();
    rig.runBlocks(static_cast<int>(3 * 192000 / block));  // 2250 blocks: three passes exactly
    rig.transport.stop();
    rig.runBlocks(2);

    const auto recordings = rig.recordings();
    ASSERT_EQ(recordings.size(), 3u);
    ASSERT_GT(recordings[0].size(), 10u);
    for (const auto& r : recordings) {
        ASSERT_EQ(r.size(), recordings[0].size());
        for (std::size_t i = 0; i < r.size(); ++i) {
            EXPECT_EQ(r[i].second, recordings[0][i].second) << i;
            EXPECT_NEAR(r[i].first, recordings[0][i].first, 1e-9) << i;
        }
    }
    // The events sit on the demo's beats (after the Program Change anchor at beat 0).
    const auto& demo = DemoPerformance::events();
    std::size_t firstTwoBars = 0;
    while (firstTwoBars < demo.size() && demo[firstTwoBars].beats < 8.0)
        ++firstTwoBars;
    ASSERT_EQ(recordings[0].size(), 1 + firstTwoBars);
    for (std::size_t i = 0; i < firstTwoBars; ++i) {
        EXPECT_NEAR(recordings[0][i + 1].first, demo[i].beats, 1e-9);
        EXPECT_EQ(recordings[0][i + 1].second, std::vector<std::uint8_t>(demo[i].bytes.begin(), demo[i].bytes.end()));
    }
}

TEST(HostTransport, ATempoChangeBetweenPassesKeepsTheBeatsAndReturnToStartBeginsARecording)
{
    KernelRig rig;
    rig.transport.setLoopBars(1);
    rig.transport.setLooping(true);
    rig.transport.play();
    rig.runBlocks(375);  // one bar at 120 BPM
    rig.transport.setTempo(150.0);
    rig.runBlocks(300);  // one bar at 150 BPM
    rig.transport.setLooping(false);
    rig.runBlocks(500);  // from bar 1 on, past the loop end
    rig.transport.returnToStart();
    rig.runBlocks(10);

    const auto recordings = rig.recordings();
    ASSERT_EQ(recordings.size(), 4u);
    ASSERT_EQ(recordings[1].size(), recordings[0].size());
    for (std::size_t i = 0; i < recordings[0].size(); ++i)
        EXPECT_NEAR(recordings[1][i].first, recordings[0][i].first, 1e-9);
    // Unlooped, the play head ran on into bar 2; Return to start began the last one at bar 1.
    EXPECT_GT(recordings[2].back().first, 4.0);
    ASSERT_GE(recordings[3].size(), 2u);
    EXPECT_DOUBLE_EQ(recordings[3][1].first, 0.0);
}

TEST(DemoPlayer, ReleasesWhatItHoldsWhenTheTimelineJumpsOrItIsSwitchedOff)
{
    HostTransport t(rate, 120.0);
    t.play();
    DemoPlayer demo;
    std::vector<std::vector<std::uint8_t>> sent;
    const auto collect = [&](int, const std::uint8_t* bytes, int length) { sent.emplace_back(bytes, bytes + length); };
    for (int b = 0; b < 10; ++b)
        for (const auto& s : playBlock(t))
            demo.render(s, rate, collect);
    ASSERT_TRUE(demo.holdsNotes());
    const auto onsSoFar = sent.size();
    EXPECT_EQ(onsSoFar, 4u);  // the C major chord and the melody's first note
    demo.releaseAll(0, collect);
    EXPECT_FALSE(demo.holdsNotes());
    ASSERT_EQ(sent.size(), 2 * onsSoFar);
    for (std::size_t i = onsSoFar; i < sent.size(); ++i)
        EXPECT_EQ(sent[i][0], 0x80);

    // Switched on in the middle of bars 1 and 2 (after the chord and a melody note began): it
    // sends no note-off of a note it did not start. At 100 BPM, with the tempo set at every
    // block as the app does, every event lands on the sample of its beat (a multiple of 7200).
    for (const int silentBlocks : {100, 600}) {
        HostTransport later(rate, 100.0);
        later.play();
        for (int b = 0; b < silentBlocks; ++b)
            playBlock(later);
        DemoPlayer joined;
        std::vector<std::vector<std::uint8_t>> heard;
        for (int b = 0; b < 1000; ++b) {
            later.setTempo(100.0);
            for (const auto& s : playBlock(later))
                joined.render(s, rate, [&](int offset, const std::uint8_t* bytes, int length) {
                    heard.emplace_back(bytes, bytes + length);
                    EXPECT_EQ((s.position.timeInSamples + offset - s.offset) % 7200, 0) << "block " << b;
                });
        }
        std::set<int> started;
        std::size_t offs = 0;
        for (const auto& m : heard) {
            if (m[0] == 0x90)
                started.insert(m[1]);
            else if (++offs; started.erase(m[1]) == 0)
                ADD_FAILURE() << "note-off of " << int(m[1]) << " without its note-on, after " << silentBlocks << " blocks";
        }
        EXPECT_GT(offs, 10u);
    }
}
