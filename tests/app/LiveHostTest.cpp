// The app's host driving the real audio unit block by block (the clock stays stopped: the test
// thread is the render thread and the message thread).

#include "DemoPerformance.h"
#include "LiveHost.h"
#include "MidiSondrelPlugin.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Recorded {
    std::int64_t startTime;
    std::vector<std::pair<double, Bytes>> events;  ///< (beat, bytes)
};

/// Oldest first.
std::vector<Recorded> recordings(LiveHost& host)
{
    return host.audioUnit().kernel().midiRecorder->read([](const Corvel::MIDIRecorder& r) {
        std::vector<Recorded> all;
        for (int i = r.getRecordingCount(); i-- > 0;) {
            const auto& slot = r.getEventDetailsByIndex(i);
            if (slot.startTime == 0)
                continue;
            Recorded& out = all.emplace_back();
            out.startTime = slot.startTime;
            for (const auto& e : slot.events.toVector())
                out.events.emplace_back(e.beatPosition, Bytes(e.data.begin(), e.data.end()));
        }
        return all;
    });
}

std::vector<Bytes> outgoing(LiveHost& host)
{
    std::vector<Bytes> sent;
    host.takeOutgoing([&](const std::uint8_t* bytes, int length) { sent.emplace_back(bytes, bytes + length); });
    return sent;
}

void render(LiveHost& host, int blocks)
{
    for (int i = 0; i < blocks; ++i)
        host.renderBlock();
}

} // namespace

TEST(LiveHost, TwoBarLoopOfTheDemoPlayedThreeTimesLeavesThreeIdenticalRecordings)
{
    LiveHost host;
    host.setTempo(120.0);
    host.setLoopBars(2);
    host.setLooping(true);
    host.setDemoPlaying(true);
    host.setPlaying(true);
    render(host, 3 * 192000 / LiveHost::blockSize);  // three passes of 8 beats at 120 BPM
    host.setPlaying(false);
    render(host, 2);

    const auto all = recordings(host);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_LT(all[0].startTime, all[1].startTime);
    EXPECT_LT(all[1].startTime, all[2].startTime);
    for (const auto& r : all) {
        ASSERT_EQ(r.events.size(), all[0].events.size());
        for (std::size_t i = 0; i < r.events.size(); ++i) {
            EXPECT_EQ(r.events[i].second, all[0].events[i].second);
            EXPECT_NEAR(r.events[i].first, all[0].events[i].first, 1e-9);
        }
    }
    // The files a user would drag out are the same, byte for byte.
    auto& store = *host.audioUnit().kernel().midiRecorder;
    const auto first = store.midiFileForRecording(all[0].startTime);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(store.midiFileForRecording(all[1].startTime), first);
    EXPECT_EQ(store.midiFileForRecording(all[2].startTime), first);
    EXPECT_FALSE(host.isPlaying());
}

TEST(LiveHost, TellsTheAudioUnitWhereTheTimelineIs)
{
    LiveHost host;
    host.setTempo(90.0);
    host.setPlaying(true);
    render(host, 100);
    EXPECT_TRUE(host.isPlaying());
    EXPECT_NEAR(host.positionInBeats(), 100 * 256 / 48000.0 * 1.5, 1e-9);
    const auto& kernel = host.audioUnit().kernel();
    EXPECT_TRUE(kernel.isPlaying);
    EXPECT_DOUBLE_EQ(kernel.tempo, 90.0);
    EXPECT_NEAR(kernel.hostBeatPosition, 99 * 256 / 48000.0 * 1.5, 1e-9);  // at the last block's start

    host.returnToStart();
    render(host, 1);
    EXPECT_DOUBLE_EQ(kernel.hostBeatPosition, 0.0);
    EXPECT_EQ(host.audioUnit().lastRenderStatus(), Corvel::noErr);
}

TEST(LiveHost, MidiInputPassesThroughUnchangedAndIsRecordedWhilePlaying)
{
    LiveHost host;
    const Bytes noteOn = {0x91, 64, 99};
    const Bytes sysEx = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    host.receiveMidi(noteOn.data(), 3);
    host.receiveMidi(sysEx.data(), static_cast<int>(sysEx.size()));
    render(host, 1);
    EXPECT_EQ(outgoing(host), (std::vector<Bytes>{noteOn, sysEx}));
    EXPECT_TRUE(recordings(host).empty()) << "stopped: passed on, not recorded";
    EXPECT_TRUE(host.audioUnit().kernel().noteDetector->getOnNotes()[64]);

    host.setPlaying(true);
    render(host, 4);
    const Bytes noteOff = {0x81, 64, 0};
    host.receiveMidi(noteOff.data(), 3);
    render(host, 1);
    EXPECT_EQ(outgoing(host), (std::vector<Bytes>{noteOff}));
    const auto all = recordings(host);
    ASSERT_EQ(all.size(), 1u);
    ASSERT_EQ(all[0].events.size(), 2u);  // the anchor, then the note-off
    EXPECT_EQ(all[0].events[1].second, noteOff);
    EXPECT_NEAR(all[0].events[1].first, 4 * 256 / 24000.0, 1e-9);  // the fifth playing block
}

TEST(LiveHost, NotesOfTheDemoEndBeforeAJumpAndWhenItStops)
{
    LiveHost host;
    host.setTempo(120.0);
    host.setDemoPlaying(true);
    host.setPlaying(true);
    render(host, 50);  // the first chord sounds
    ASSERT_TRUE(host.audioUnit().kernel().noteDetector->getOnNotes()[48]);
    outgoing(host);

    host.returnToStart();
    render(host, 1);
    auto all = recordings(host);
    ASSERT_EQ(all.size(), 2u);
    // The first recording ends with the chord's note-offs; the second starts on beat 0 with notes.
    const auto& ended = all[0].events;
    EXPECT_EQ(ended.back().second[0], 0x80);
    EXPECT_NEAR(ended.back().first, 50 * 256 / 24000.0, 1e-9);
    for (const auto& e : all[1].events)
        EXPECT_TRUE(e.second[0] != 0x80) << "a note-off leaked into the new recording";

    host.setPlaying(false);
    render(host, 1);
    const auto sent = outgoing(host);
    std::size_t offs = 0;
    for (const auto& m : sent)
        offs += m[0] == 0x80 ? 1 : 0;
    EXPECT_GE(offs, 4u);
    const auto held = host.audioUnit().kernel().noteDetector->getOnNotes();
    for (bool h : held)
        EXPECT_FALSE(h);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;  // the test thread is the message thread
    return RUN_ALL_TESTS();
}
