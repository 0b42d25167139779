// The plug-in inside a scripted host: MIDI passes through exactly, a host's position carried
// without allocating or locking, the takes kept with the project, and the window's live model.

#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include "HeldNotes.h"
#include "MIDIRecorder.h"
#include "RealTimeCounters.h"
#include "RecordingArchive.h"
#include "TakesMenu.h"

using namespace SondrelTest;

// Playing, stopped and bypassed: the same out as in; only the playing block is recorded, without
// its system-exclusive message. Many events in one block all come through.
TEST(AudioUnit, MidiComesOutExactlyAsItWentIn)
{
    const std::vector<Message> mixed = {
        {0, {0x90, 60, 100}},      {0, {0x90, 64, 90}},  {10, {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}},
        {17, {0xB3, 1, 64}},       {100, {0x90, 60, 0}},  // velocity 0 stays
        {200, {0xE0, 0x00, 0x40}}, {201, {0xC5, 7}},     {511, {0x80, 64, 0}}};
    Plugin p;
    p.prepare();
    for (const auto& [at, playing, bypassed] :
         {std::tuple(48000, true, false), {48512, false, false}, {49024, true, true}}) {
        p.playHead.set(at, (at - 48000) / 24000.0 + 2.0, 120.0, playing);
        EXPECT_EQ(p.block(mixed, 512, bypassed), mixed) << at;
    }
    EXPECT_EQ(p.unit.lastRenderStatus(), 0);
    EXPECT_EQ(p.block({}), std::vector<Message>{});
    const auto events = p.liveEvents();
    ASSERT_EQ(events.size(), 1u + 7u);
    EXPECT_EQ(events[3].data, (Corvel::MidiBytes{0xB3, 1, 64}));
    EXPECT_EQ(events[3].sampleTime, 48000 + 17);
    EXPECT_EQ(events[4].data, (Corvel::MidiBytes{0x90, 60, 0}));

    Plugin q;
    q.prepare(48000.0, 1024);
    std::vector<Message> many;
    for (int i = 0; i < 10000; ++i)
        many.push_back({i / 10, {static_cast<juce::uint8>(0x90 | (i % 16)), static_cast<juce::uint8>(i % 128), 1}});
    q.playHead.set(0, 0.0, 120.0, true);
    EXPECT_EQ(q.block(many, 1024), many);
    EXPECT_EQ(q.liveEvents().size(), 10001u);
}

// A host that tells its position (frame, tempo, bar, no beat) only now and then: every note in
// between is recorded at the host's beat; jumps back beyond the five takes recycle their slots;
// after warm-up the audio thread neither allocates nor locks. A host that never tells: nothing
// recorded.
TEST(AudioUnit, AnLv2HostsPositionIsCarriedBetweenItsUpdatesWithoutAllocatingOrLocking)
{
    Plugin p;
    p.prepare(44100.0, 256);
    juce::MidiBuffer midi;
    midi.ensureSize(8192);
    juce::AudioBuffer<float> audio(2, 256);
    const double bpm = 93.0;
    const auto tellPosition = [&](std::int64_t frame) {
        juce::AudioPlayHead::PositionInfo info;
        info.setTimeInSamples(frame);
        info.setBpm(bpm);
        info.setBarCount(static_cast<std::int64_t>(frame / 44100.0 * bpm / 60.0 / 3.0));
        info.setTimeSignature(juce::AudioPlayHead::TimeSignature{3, 4});
        info.setIsPlaying(true);
        p.playHead.info = info;
    };
    const auto run = [&](int block, int events) {
        midi.clear();
        for (int i = 0; i < events; ++i)
            midi.addEvent(juce::MidiMessage(i % 2 ? 0x80 : 0x90, 40 + (block + i) % 40, 99), (block + i) % 256);
        RealTimeScope scope;
        p.processor->processBlock(audio, midi);
        EXPECT_EQ(midi.getNumEvents(), events);
        return scope.allocations() + scope.locks();
    };
    long realTimeCost = 0;
    const std::int64_t start = 300'000;  // bar 4 of 3/4, where the beat must land in the host's bar
    for (int block = 0; block < 200; ++block) {
        block % 50 == 0 ? tellPosition(start + block * 256) : p.playHead.info.reset();
        realTimeCost += run(block, 1) * (block > 0);  // the first block warms up
    }
    const auto events = p.liveEvents();
    ASSERT_EQ(events.size(), 201u);  // the Program Change anchor and every note
    for (std::int64_t i = 1; i < std::ssize(events); ++i) {
        const auto& e = events[std::size_t(i)];
        EXPECT_EQ(e.sampleTime, start + (i - 1) * 256 + (i - 1) % 256);
        EXPECT_NEAR(e.beatPosition, e.sampleTime / 44100.0 * bpm / 60.0, 1e-9) << i;
    }

    p.unit.settings().live.pollKernel();
    for (int round = 0; round < 7; ++round) {  // more than five jumps back, in bursts
        tellPosition(round);
        for (int block = 0; block < 40; ++block) {
            realTimeCost += run(block, block % 3 == 0 ? 0 : 64);
            p.playHead.info.reset();
        }
        p.unit.settings().live.pollKernel();
    }
    EXPECT_EQ(realTimeCost, 0);  // allocations and locks on the audio thread
    EXPECT_EQ(p.recordingCount(), 5);

    Plugin silent;
    silent.prepare();
    EXPECT_EQ(silent.block({noteOn(60)}), std::vector<Message>{noteOn(60)});
    EXPECT_EQ(silent.recordingCount(), 0);
}

TEST(AudioUnit, TakesKeptWithTheProjectComeBackAndCanBeCleared)
{
    LiveModel saved;
    for (int take = 0; take < 3; ++take) {
        saved.jumpBack();
        for (int i = 0; i < 4 + take; ++i)
            saved.play({noteOn(60 + i, i), noteOff(60 + i, 100 + i)});
    }
    saved.tick();
    juce::MemoryBlock plain;
    saved.processor->getStateInformation(plain);
    const auto plainState = juce::AudioProcessor::getXmlFromBinary(plain.getData(), static_cast<int>(plain.getSize()));
    EXPECT_EQ(std::pair(plainState->getNumAttributes(), plainState->getNumChildElements()),
              std::pair(1, 0));  // mainMode

    TakesMenu menu(saved.settings);
    ASSERT_TRUE(choose(menu.menu(), TakesMenu::keepTakesItem));
    juce::MemoryBlock withTakes;
    saved.processor->getStateInformation(withTakes);
    saved.tick();
    EXPECT_EQ(saved.settings.live.savedTakes.peek(), (TakesState::Saved{3, 3}));
    EXPECT_TRUE(menu.savedTakesNotice().isEmpty());

    LiveModel loaded;
    loaded.processor->setStateInformation(withTakes.getData(), static_cast<int>(withTakes.getSize()));
    loaded.tick();
    EXPECT_TRUE(loaded.unit.keepsTakesWithProject());
    ASSERT_EQ(loaded.summaries().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto start = saved.summaries()[i]->originalStartTime;
        EXPECT_EQ(loaded.summaries()[i]->originalStartTime, start);
        EXPECT_EQ(loaded.unit.kernel().midiRecorder->midiFileForRecording(start),
                  saved.unit.kernel().midiRecorder->midiFileForRecording(start));
    }

    TakesMenu loadedMenu(loaded.settings);
    ASSERT_TRUE(choose(loadedMenu.menu(), TakesMenu::clearTakesItem));
    loaded.tick();
    EXPECT_TRUE(loaded.summaries().empty());
    EXPECT_FALSE(choose(loadedMenu.menu(), TakesMenu::clearTakesItem)) << "nothing left to clear";
    loaded.settings.live.savedTakes.set({2, 5});
    EXPECT_TRUE(loadedMenu.savedTakesNotice().contains("2 newest of 5"));
}

// A saved state whose takes inflate past what any state of ours holds is refused, not inflated
// on: here a take of some 19 MiB, which the writer would never have kept.
TEST(AudioUnit, TakesThatInflatePastTheLargestStateAreRefused)
{
    Corvel::MIDIRecorder recorder(1, false);
    std::vector<Corvel::Recording> takes(1);
    takes[0].startTime = 1'700'000'000'000;
    takes[0].sampleRate = 48000.0f;
    const std::uint8_t note[] = {0x90, 60, 100};
    for (std::int64_t i = 0; i < 700'000; ++i)
        takes[0].events.push_back({Corvel::MidiBytes(note, 3), i, 120.0, static_cast<double>(i) / 24000.0});
    recorder.replaceRecordings(std::move(takes));
    const auto archive = Corvel::RecordingArchive::encode(recorder, std::size_t{32} << 20);
    ASSERT_EQ(archive.takesKept, 1);
    juce::MemoryOutputStream compressed;
    juce::GZIPCompressorOutputStream(compressed, 1).write(archive.bytes.data(), archive.bytes.size());
    juce::XmlElement state("MidiSondrelState");
    state.createNewChildElement(TakesState::elementName)
        ->addTextElement(juce::Base64::toBase64(compressed.getData(), compressed.getDataSize()));
    EXPECT_EQ(TakesState::read(state, 5), std::nullopt);
}

TEST(ViewModel, EachFlagIsTakenOnceAndWhileStoppedOnlyTheNotesFollow)
{
    LiveModel m;
    auto& live = m.settings.live;
    m.play({noteOn(60), noteOn(64, 1), noteOn(67, 2)});
    m.tick();
    EXPECT_EQ(m.unit.kernel().recordingsChanged.load() + m.unit.kernel().liveRecordingChanged.load(), 0u);
    EXPECT_EQ(live.currentChord.peek()->chord, "C Major");
    // Whatever the model shows now stays until the kernel raises a flag again.
    live.onNotes.set({});
    live.selectRecording(std::nullopt);
    m.tick();
    m.tick();
    EXPECT_EQ(live.onNotes.peek(), Corvel::HeldNotes{});
    EXPECT_EQ(live.selectedRecordingSummaryID().peek(), std::nullopt);
    m.play({noteOff(67)});
    m.tick();
    EXPECT_EQ(live.onNotes.peek(), heldSet({60, 64}));
    const auto& card = *m.summaries().front();
    const auto duration = card.duration.peek();
    EXPECT_EQ(card.noteCount.peek(), 5);
    // Stopped: the notes, the chord and the scales follow; the card stays as it was.
    m.play({noteOn(57)}, false);
    m.play({}, false);
    m.tick();
    EXPECT_EQ(live.onNotes.peek(), heldSet({57, 60, 64}));
    EXPECT_EQ(live.currentChord.peek()->chord, "A Minor");
    EXPECT_EQ(std::tuple(card.noteCount.peek(), card.duration.peek()), std::tuple(5, duration));
    // The strip, the chord, the notes and the scales all show the poll's copy of the held notes.
    const auto copied = heldSet({60, 64, 67});  // C major when the poll copied them, A minor held now
    live.refreshLiveState(copied, m.unit, -1.0, -1);
    EXPECT_EQ(live.onNotes.peek(), copied);
    EXPECT_EQ(live.currentChord.peek()->chord, "C Major");
    using Corvel::Note;
    EXPECT_EQ(live.currentNotes.peek(), (std::vector<Corvel::FullNote>{{Note::C, 4}, {Note::E, 4}, {Note::G, 4}}));
    ASSERT_FALSE(live.currentScales.peek().empty());
    for (const auto& scale : live.currentScales.peek())
        EXPECT_EQ(scale.matchingNotes, (std::vector<Note>{Note::C, Note::E, Note::G})) << scale.name;
    EXPECT_EQ(std::tuple(card.noteCount.peek(), card.duration.peek()), std::tuple(5, duration));
}

TEST(ViewModel, TheSelectionFollowsTheNewestRecordingWhoseRowsGrowWhileItIsShown)
{
    LiveModel m;
    m.play({noteOn(60)});
    m.tick();
    const auto first = m.summaries().front()->originalStartTime;
    EXPECT_EQ(m.settings.live.selectedRecordingSummaryID().peek(), first);
    m.play({noteOn(62)});
    m.tick();
    EXPECT_EQ(m.rows().size(), 3u);  // the opening program change and two notes

    m.jumpBack();
    m.play({noteOn(64)});
    m.tick();
    const auto newest = m.summaries().front()->originalStartTime;
    EXPECT_EQ(m.settings.live.selectedRecordingSummaryID().peek(), newest);
    EXPECT_EQ(m.rows().size(), 2u);
    // An older recording the user selected keeps its rows while the newest grows.
    m.settings.live.selectRecording(first);
    m.play({noteOn(65)});
    m.tick();
    EXPECT_EQ(m.summaries().front()->noteCount.peek(), 3);
    EXPECT_EQ(m.rows().recordingStartTime(), first);
    EXPECT_EQ(m.rows().size(), 3u);
    // A new recording takes the selection.
    m.jumpBack();
    m.play({noteOn(67)});
    m.tick();
    EXPECT_NE(m.summaries().front()->originalStartTime, newest);
    EXPECT_EQ(m.rows().recordingStartTime(), m.summaries().front()->originalStartTime);
    EXPECT_EQ(m.rows().size(), 2u);
}
