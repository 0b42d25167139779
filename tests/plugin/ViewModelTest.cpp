// The window's live model against the real kernel, driven by a scripted host; no window.

#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace SondrelTest;


TEST(ViewModel, TheFirstEventMakesASelectedSummaryWithItsRows)
{
    LiveModel m;
    fakeNow = 1700000000999;
    m.play({noteOn(60, 3), {7, {0xB2, 64, 127}}});
    m.tick();

    ASSERT_EQ(m.summaries().size(), 1u);
    const auto& live = *m.summaries().front();
    EXPECT_EQ(live.index, 0);
    EXPECT_EQ(live.originalStartTime, 1700000000999);
    EXPECT_EQ(live.startTime.toMilliseconds(), 1700000000000);  // whole seconds, truncated
    EXPECT_EQ(live.noteCount.peek(), 3);  // every recording opens with a program change
    EXPECT_EQ(m.settings.selectedRecordingSummaryID().peek(), std::optional<std::int64_t>(1700000000999));

    ASSERT_EQ(m.rows().size(), 3u);
    EXPECT_EQ(m.rows()[0], (MidiEvent{0, 0, 0.0, Corvel::MIDIEventType::ProgramChange, 0, "C-1", 0}));
    EXPECT_EQ(m.rows()[1], (MidiEvent{1, 3, m.liveEvents()[1].beatPosition, Corvel::MIDIEventType::NoteOn, 0, "C4", 100}));
    EXPECT_DOUBLE_EQ(m.rows()[1].beatPosition, 3.0 / 48000.0 * 2.0);  // 3 samples at 120 bpm
    // A control change still carries the note text of its first data byte.
    EXPECT_EQ(m.rows()[2].type, Corvel::MIDIEventType::ControlChange);
    EXPECT_EQ(m.rows()[2].channel, 2);
    EXPECT_EQ(m.rows()[2].note, "E4");
    EXPECT_EQ(m.rows()[2].velocity, 127);
    EXPECT_EQ(m.rows()[2].time, 7);

    EXPECT_EQ(m.settings.onNotes.peek()[60], true);
    EXPECT_EQ(m.settings.currentNotes.peek(), (std::vector<Corvel::FullNote>{{Corvel::Note::C, 4}}));
    ASSERT_TRUE(m.settings.currentChord.peek().has_value());
}

TEST(ViewModel, EachFlagIsTakenOnceAndATickWithoutFlagsChangesNothing)
{
    LiveModel m;
    m.play({noteOn(60), noteOn(64, 1), noteOn(67, 2)});
    m.tick();
    EXPECT_EQ(m.unit.kernel().recordingsChanged.load(), 0u);
    EXPECT_EQ(m.unit.kernel().liveRecordingChanged.load(), 0u);
    EXPECT_EQ(m.settings.currentChord.peek()->chord, "C Major");
    EXPECT_FALSE(m.settings.currentScales.peek().empty());

    // Whatever the model shows now stays until the kernel raises a flag again.
    Corvel::HeldNotes nothing{};
    m.settings.onNotes.set(nothing);
    m.settings.selectRecording(std::nullopt);
    m.tick();
    m.tick();
    EXPECT_EQ(m.settings.onNotes.peek(), nothing);
    EXPECT_EQ(m.settings.selectedRecordingSummaryID().peek(), std::nullopt);

    m.play({noteOff(67)});
    m.tick();
    EXPECT_TRUE(m.settings.onNotes.peek()[60]);
    EXPECT_FALSE(m.settings.onNotes.peek()[67]);
    EXPECT_EQ(m.summaries().front()->noteCount.peek(), 5);
}

TEST(ViewModel, LiveRowsGrowAndMatchTheRecordingWhileItIsSelected)
{
    LiveModel m;
    for (int i = 0; i < 40; ++i) {
        m.play({noteOn(48 + i % 24, i % 5), noteOff(48 + i % 24, 100 + i)});
        if (i % 3 == 0)
            m.tick();
    }
    m.tick();
    const auto recorded = m.liveEvents();
    ASSERT_EQ(recorded.size(), 81u);
    ASSERT_EQ(m.rows().size(), recorded.size());
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        EXPECT_EQ(m.rows()[i].index, static_cast<std::int64_t>(i));
        EXPECT_EQ(m.rows()[i].time, recorded[i].sampleTime);
        EXPECT_EQ(m.rows()[i].beatPosition, recorded[i].beatPosition);
    }
    const auto& live = *m.summaries().front();
    EXPECT_EQ(live.noteCount.peek(), 81);
    // The kernel publishes the span in single precision.
    EXPECT_NEAR(live.duration.peek(), static_cast<double>(recorded.back().sampleTime - recorded.front().sampleTime) / 48000.0, 1e-6);

    // A copy taken earlier keeps showing its own rows while the list grows behind it.
    const MidiEventRows earlier = m.rows();
    m.play({noteOn(90)});
    m.tick();
    EXPECT_EQ(earlier.size(), 81u);
    EXPECT_EQ(m.rows().size(), 82u);
    EXPECT_EQ(m.rows()[81].note, "F#6");
    EXPECT_EQ(m.rows()[80], earlier[80]);
}

TEST(ViewModel, AnOlderSelectionStaysUntilTheNextRecordingStarts)
{
    LiveModel m;
    m.play({noteOn(60)});
    m.play({noteOff(60)});
    m.tick();
    const auto first = m.summaries().front()->originalStartTime;

    m.jumpBack();
    m.play({noteOn(62)});
    m.tick();
    ASSERT_EQ(m.summaries().size(), 2u);
    const auto second = m.summaries().front()->originalStartTime;
    EXPECT_EQ(m.summaries()[1]->originalStartTime, first);
    EXPECT_EQ(m.summaries()[1]->index, 1);
    EXPECT_EQ(m.settings.selectedRecordingSummaryID().peek(), second);

    m.settings.selectRecording(first);
    ASSERT_EQ(m.rows().size(), 3u);
    EXPECT_EQ(m.rows()[1].note, "C4");

    m.play({noteOn(64)});
    m.play({noteOn(65)});
    m.tick();
    EXPECT_EQ(m.settings.selectedRecordingSummaryID().peek(), first);
    EXPECT_EQ(m.rows().size(), 3u);
    EXPECT_EQ(m.summaries().front()->noteCount.peek(), 4);

    m.jumpBack();
    m.play({noteOn(67)});
    m.tick();
    ASSERT_EQ(m.summaries().size(), 3u);
    EXPECT_EQ(m.settings.selectedRecordingSummaryID().peek(), m.summaries().front()->originalStartTime);
    ASSERT_EQ(m.rows().size(), 2u);
    EXPECT_EQ(m.rows()[1].note, "G4");

    // A start time that no recording has leaves the rows alone.
    m.settings.selectRecording(12345);
    EXPECT_EQ(m.rows().size(), 2u);
}

TEST(ViewModel, WhileStoppedNotesAndChordsFollowButNoSummaryChanges)
{
    LiveModel m;
    m.play({noteOn(40)});
    m.tick();
    const auto duration = m.summaries().front()->duration.peek();

    m.play({noteOn(57), noteOn(60, 1), noteOn(64, 2)}, false);
    m.play({}, false);
    m.tick();
    EXPECT_TRUE(m.settings.onNotes.peek()[57]);
    EXPECT_EQ(m.settings.currentNotes.peek().size(), 4u);
    EXPECT_FALSE(m.settings.currentScales.peek().empty());
    EXPECT_EQ(m.summaries().front()->noteCount.peek(), 2);
    EXPECT_EQ(m.summaries().front()->duration.peek(), duration);
    EXPECT_EQ(m.rows().size(), 2u);
}

TEST(ViewModel, StepsScheduledForAnAudioUnitThatIsGoneDoNothing)
{
    Settings settings;
    settings.pollKernel();  // never connected
    EXPECT_EQ(settings.sondrelAU(), nullptr);

    auto unit = std::make_unique<MidiSondrelAudioUnit>();
    settings.setUpdateServer(closedLoopbackServer);
    settings.configureAudioUnit(*unit);
    settings.stopPolling();
    ScriptedPlayHead head;
    head.set(0, 0.0, 120.0, true);
    unit->setPlayHead(&head);
    unit->prepareToPlay(48000.0, 512);
    juce::AudioBuffer<float> audio(2, 512);
    auto midi = toBuffer({noteOn(60)});
    unit->processBlock(audio, midi);

    settings.pollKernel();  // both steps scheduled...
    unit.reset();           // ...and the unit destroyed before they run
    pumpMessages();
    EXPECT_EQ(settings.sondrelAU(), nullptr);
    EXPECT_TRUE(settings.recordingInfo.summaries.peek().empty());
    EXPECT_FALSE(settings.onNotes.peek()[60]);
    settings.pollKernel();
    EXPECT_TRUE(settings.recordingInfo.summaries.peek().empty());
}

TEST(ViewModel, SummariesCompareWithoutTheirExactStartTime)
{
    const RecordingSummary a(0, 1700000000123, 4, 0.0);
    const RecordingSummary b(0, 1700000000999, 4, -0.0);
    const RecordingSummary c(1, 1700000000123, 4, 0.0);
    EXPECT_TRUE(a.sameAs(b));
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_FALSE(a.sameAs(c));
    const RecordingSummary early(0, -1500, 1, 1.0);  // before 1970: truncated toward zero
    EXPECT_EQ(early.startTime.toMilliseconds(), -1000);

    // Lists are the same only when they hold the same recordings, however alike they look.
    const auto list = [](std::int64_t start) { return RecordingSummaries{std::make_shared<RecordingSummary>(0, start, 4, 1.0)}; };
    EXPECT_TRUE(SummaryListsEqual{}(list(1700000000123), list(1700000000123)));
    EXPECT_FALSE(SummaryListsEqual{}(list(1700000000123), list(1700000000999)));
    EXPECT_FALSE(SummaryListsEqual{}(list(1700000000123), {}));

    EXPECT_EQ(MidiEvent::noteText(0), "C-1");
    EXPECT_EQ(MidiEvent::noteText(127), "G9");
    EXPECT_EQ(MidiEvent::noteText(128), "None");
}
