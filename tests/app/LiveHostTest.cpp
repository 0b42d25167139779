// The app's host driving the real audio unit block by block (the clock stays stopped: the test
// thread is the render thread and the message thread).

#include "AudioUnitViewController.h"
#include "DemoPerformance.h"
#include "LiveHost.h"
#include "MainComponent.h"
#include "MidiSondrelPlugin.h"
#include "../plugin/PluginTestSupport.h"

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

namespace {

/// Renders `blocks` blocks, doing the message thread's part as the transport bar's timer would.
void play(LiveHost& host, int blocks)
{
    for (int i = 0; i < blocks; ++i) {
        if (i % 6 == 0)
            host.serviceFilePlayback();
        host.renderBlock();
    }
}

/// 120 BPM, 480 ticks a beat: notes on beats 0, 1 and 2, and one from beat 3 that never ends.
void writeTestFile(const juce::File& file)
{
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
    juce::FileOutputStream out(file);
    ASSERT_TRUE(midi.writeTo(out, 0));
}

} // namespace

TEST(LiveHost, AnOpenFilePlaysUnderTheTransportAndLoopsAtItsEnd)
{
    LiveHost host;
    const juce::TemporaryFile text(".mid"), metaOnly(".mid"), song(".mid");
    ASSERT_TRUE(text.getFile().replaceWithText("not a MIDI file"));
    juce::MidiFile empty;
    empty.setTicksPerQuarterNote(480);
    empty.addTrack(juce::MidiMessageSequence());
    {
        juce::FileOutputStream out(metaOnly.getFile());
        ASSERT_TRUE(empty.writeTo(out, 0));
    }
    writeTestFile(song.getFile());
    const std::pair<juce::File, const char*> refused[] = {
        {juce::File("/nonexistent/x.mid"), "no such file"}, {text.getFile(), ""}, {metaOnly.getFile(), "holds no MIDI"}};
    for (const auto& [file, why] : refused) {
        const auto error = host.openMidiFile(file);
        ASSERT_TRUE(error.has_value()) << file.getFullPathName();
        EXPECT_TRUE(error->contains(why) && error->isNotEmpty()) << *error;
        EXPECT_FALSE(host.hasFile());
    }

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
    EXPECT_FALSE(host.wantsPlaying());
    EXPECT_FALSE(host.isPlaying());
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

TEST(AppWindow, ThePluginWindowScalesInItsProportionsUnderTheTransportBar)
{
    LiveHost host;
    MainComponent main(host);
    auto* editor = dynamic_cast<AudioUnitViewController*>(main.editor());
    ASSERT_NE(editor, nullptr);
    const int bar = TransportBar::preferredHeight;
    // Window size, then where the plug-in's window goes: 640:474 to the nearest pixel.
    const std::pair<juce::Rectangle<int>, juce::Rectangle<int>> sizes[] = {
        {{0, 0, 1280, bar + 948}, {0, bar, 1280, 948}}, {{0, 0, 640, bar + 237}, {160, bar, 320, 237}},
        {{0, 0, 1000, bar + 302}, {296, bar, 408, 302}}, {{0, 0, 660, bar + 600}, {0, bar, 660, 489}},
        {{0, 0, 640, bar + 474}, {0, bar, 640, 474}}};
    for (const auto& [window, plugin] : sizes) {
        main.setBounds(window);
        EXPECT_EQ(editor->getBounds(), plugin) << window.toString();
        EXPECT_EQ(editor->mainView().content().getBoundsInParent(), editor->getLocalBounds()) << window.toString();
        EXPECT_EQ(main.transportBar().getWidth(), window.getWidth());
    }
    main.setBounds(0, 0, 1200, 900);
    juce::Button* actualSize = nullptr;
    for (auto* c : main.transportBar().getChildren())
        if (auto* b = dynamic_cast<juce::Button*>(c); b != nullptr && b->getButtonText() == "Actual size")
            actualSize = b;
    ASSERT_NE(actualSize, nullptr);
    actualSize->onClick();
    EXPECT_EQ(editor->getBounds(), juce::Rectangle<int>(0, bar, 640, 474));
    EXPECT_EQ(main.getWidth(), 640);

    // The space bar starts and stops the transport.
    for (const bool playing : {true, false}) {
        EXPECT_TRUE(main.keyPressed(juce::KeyPress(juce::KeyPress::spaceKey)));
        EXPECT_EQ(host.wantsPlaying(), playing);
    }
}

TEST(AppWindow, TheEmptyPageSaysWhereMidiComesFromAndThePositionShowsLongBarNumbers)
{
    LiveHost host;
    MainComponent main(host);
    auto* page = dynamic_cast<AudioUnitViewController&>(*main.editor()).mainView().eventsPage();
    ASSERT_NE(page, nullptr);
    const auto& readout = main.transportBar().positionReadout();
    const auto fits = [&](const juce::String& text) {
        const float squeeze = readout.getMinimumHorizontalScale() > 0.0f ? readout.getMinimumHorizontalScale()
                                                                         : juce::Font::getDefaultMinimumHorizontalScaleFactor();
        return readout.getFont().getStringWidthFloat(text) * squeeze
            <= static_cast<float>(readout.getBorderSize().subtractedFrom(readout.getLocalBounds()).getWidth());
    };
    host.setTempo(HostTransport::maximumTempo);
    for (const bool playing : {true, false}) {
        host.setPlaying(playing);
        render(host, 1013);  // 36 beats at 400 BPM: bar 10
        main.transportBar().refreshFromHost();
        SondrelTest::pumpMessages(20);
        EXPECT_TRUE(page->showsEmptyState());
        EXPECT_EQ(page->headline().getText(), playing ? "WAITING FOR MIDI" : "PRESS PLAY");
        EXPECT_EQ(page->hint().getText(), playing ? TransportBar::waitingHint : "MIDI events will appear here");
    }
    EXPECT_EQ(readout.getText(), "10.1");
    // A bar number of nine digits: nineteen years at the fastest tempo.
    for (const juce::String text : {readout.getText(), juce::String("123456789.4")})
        EXPECT_TRUE(fits(text)) << text;
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;  // the test thread is the message thread
    return RUN_ALL_TESTS();
}
