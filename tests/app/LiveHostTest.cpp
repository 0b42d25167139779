// The app's host driving the real audio unit block by block (the clock stays stopped: the test
// thread is the render thread and the message thread).

#include "LiveHost.h"
#include "../plugin/PluginTestSupport.h"
#include "AudioUnitViewController.h"
#include "MainComponent.h"

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

/// Renders `blocks` blocks, doing the message thread's part as the transport bar's timer would.
void play(LiveHost& host, int blocks)
{
    for (int i = 0; i < blocks; ++i) {
        if (i % 6 == 0)
            host.serviceFilePlayback();
        host.renderBlock();
    }
}

}  // namespace

TEST(LiveHost, AnOpenFilePlaysUnderTheTransportAndLoopsAtItsEnd)
{
    // 120 BPM, 480 ticks a beat: notes on beats 0, 1 and 2, and one from beat 3 that never ends.
    const juce::TemporaryFile song(".mid");
    juce::MidiMessageSequence track;
    track.addEvent(juce::MidiMessage::tempoMetaEvent(500000), 0);
    for (int beat = 0; beat < 3; ++beat) {
        track.addEvent(juce::MidiMessage::noteOn(1, 60 + beat, juce::uint8(90)), beat * 480);
        track.addEvent(juce::MidiMessage::noteOff(1, 60 + beat), beat * 480 + 240);
    }
    track.addEvent(juce::MidiMessage::noteOn(1, 72, juce::uint8(90)), 3 * 480);
    juce::MidiFile midi;
    midi.setTicksPerQuarterNote(480);
    midi.addTrack(track);
    ASSERT_TRUE(midi.writeTo(*song.getFile().createOutputStream(), 0));
    LiveHost host;
    host.setDemoPlaying(true);
    ASSERT_FALSE(host.openMidiFile(song.getFile()).has_value());
    EXPECT_TRUE(host.hasFile());
    EXPECT_FALSE(host.wantsDemo()) << "one source at a time";
    host.setLooping(true);
    host.setPlaying(true);
    play(host, 2 * 375 + 100);  // a pass ends on the bar line after beat 3: 2 s, 375 blocks
    EXPECT_EQ(host.positionText(), "1.2");
    host.setPlaying(false);  // the held note ends where it stops
    play(host, 10);
    host.setPlaying(true);  // and it goes on from there, in the same take, past beat 1.5
    play(host, 60);
    host.returnToStart();
    play(host, 100);
    host.setLooping(false);
    play(host, 400);  // to the end, where it stops
    EXPECT_FALSE(host.wantsPlaying() || host.isPlaying());
    EXPECT_EQ(host.positionText(), "1.1");
    // Two passes; the third stopped on beat 1.07 (the held note ends there, and its own note-off
    // is not played again) and sent back to the start; the fourth to the end.
    const std::vector<std::pair<double, Bytes>> pass = {
        {0.0, {0x90, 60, 90}}, {0.5, {0x80, 60, 0}}, {1.0, {0x90, 61, 90}}, {1.5, {0x80, 61, 0}},
        {2.0, {0x90, 62, 90}}, {2.5, {0x80, 62, 0}}, {3.0, {0x90, 72, 90}}, {4.0, {0x80, 72, 0}}};
    auto stopped = std::vector(pass.begin(), pass.begin() + 4);
    stopped.back().first = 100 * 256 / 24000.0;
    const auto all = recordings(host);
    ASSERT_EQ(all.size(), 4u);
    for (std::size_t take = 0; take < all.size(); ++take) {
        const auto& expected = take == 2 ? stopped : pass;
        const auto& events = all[take].events;  // after the take's opening program change
        ASSERT_EQ(events.size(), expected.size() + 1) << "take " << take;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(events[i + 1].second, expected[i].second) << "take " << take << " event " << i;
            EXPECT_NEAR(events[i + 1].first, expected[i].first, 1e-4) << "take " << take << " event " << i;
        }
    }

    host.setDemoPlaying(true);
    EXPECT_FALSE(host.hasFile());
}

TEST(AppWindow, TheEmptyPageSaysWhereMidiComesFromAndAStoppedPositionStandsStill)
{
    LiveHost host;
    MainComponent main(host);
    auto* page = dynamic_cast<AudioUnitViewController&>(*main.editor()).mainView().eventsPage();
    ASSERT_NE(page, nullptr);
    host.setTempo(HostTransport::maximumTempo);
    for (const bool playing : {true, false}) {
        host.setPlaying(playing);
        play(host, 1013);  // 36 beats at 400 BPM: bar 10
        main.transportBar().refreshFromHost();
        SondrelTest::pumpMessages(20);
        EXPECT_TRUE(page->showsEmptyState());
        EXPECT_EQ(page->headline().getText(), playing ? "WAITING FOR MIDI" : "PRESS PLAY");
        EXPECT_EQ(page->hint().getText(), playing ? TransportBar::waitingHint : "MIDI events will appear here");
    }
    EXPECT_EQ(main.transportBar().positionReadout().getText(), "10.1");
    host.returnToStart();  // taken once: from the start the timeline goes on
    host.setPlaying(true);
    play(host, 1013);
    EXPECT_EQ(host.positionText(), "10.1");
}

// With "Capture while stopped" on, what comes in from a MIDI input while the app stands still is
// a take of its own, the first note on its first beat.
TEST(LiveHost, NotesPlayedWhileTheAppIsStoppedMakeATakeOfTheirOwn)
{
    LiveHost host;
    host.audioUnit().setCapturesWhileStopped(true);
    play(host, 4);
    const std::uint8_t on[] = {0x90, 64, 90}, off[] = {0x80, 64, 0};
    host.receiveMidi(on, 3);
    play(host, 48);  // a quarter of a second
    host.receiveMidi(off, 3);
    play(host, 1);
    const auto taken = recordings(host);
    ASSERT_EQ(taken.size(), 1u);
    ASSERT_EQ(taken[0].events.size(), 3u);
    EXPECT_EQ(taken[0].events[1], std::pair(0.0, Bytes(on, on + 3)));
    EXPECT_GT(taken[0].events[2].first, 0.0);
    EXPECT_TRUE(host.audioUnit().kernel().midiRecorder->copyRecording(taken[0].startTime)->capturedWhileStopped);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;  // the test thread is the message thread
    return RUN_ALL_TESTS();
}
