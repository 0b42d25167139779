// The plug-in inside a scripted host: MIDI passes through exactly, recordings follow the
// host's timeline, and the audio thread neither allocates nor locks.

#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include "RealTimeCounters.h"
#include "TakesMenu.h"

using namespace SondrelTest;

namespace {

const std::vector<juce::uint8> sysEx = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

std::vector<Message> mixedBlock()
{
    return {
        {0, {0x90, 60, 100}},
        {0, {0x90, 64, 90}},      // same offset
        {10, sysEx},
        {17, {0xB3, 1, 64}},
        {100, {0x90, 60, 0}},     // velocity-0 note-on stays as it is
        {200, {0xE0, 0x00, 0x40}},
        {201, {0xC5, 7}},
        {511, {0x80, 64, 0}},
    };
}

} // namespace

TEST(AudioUnit, StartsAsAStereoMidiEffectOnTheEventsPage)
{
    Plugin p;
    EXPECT_TRUE(p.processor->isMidiEffect());
    EXPECT_TRUE(p.processor->acceptsMidi());
    EXPECT_TRUE(p.processor->producesMidi());
    EXPECT_EQ(p.unit.maximumFramesToRender(), 1024u);
    EXPECT_EQ(p.processor->getTotalNumInputChannels(), 2);
    EXPECT_EQ(p.processor->getTotalNumOutputChannels(), 2);

    juce::AudioProcessor::BusesLayout mono;
    mono.inputBuses.add(juce::AudioChannelSet::mono());
    mono.outputBuses.add(juce::AudioChannelSet::mono());
    EXPECT_FALSE(p.processor->checkBusesLayoutSupported(mono));

    ASSERT_EQ(p.processor->getParameters().size(), 1);
    auto* mainTab = p.processor->getParameters()[0];
    EXPECT_EQ(mainTab->getName(100), "Main Tab");
    EXPECT_EQ(dynamic_cast<juce::HostedAudioProcessorParameter*>(mainTab)->getParameterID(), "mainMode");
    EXPECT_EQ(mainTab->getText(mainTab->getValue(), 100), "Events");
    EXPECT_EQ(mainTab->getText(1.0f, 100), "Chord And Scale");
    EXPECT_EQ(mainTab->getAllValueStrings(), (juce::StringArray{"Events", "Chord And Scale"}));
    EXPECT_EQ(mainTab->getValueForText("1"), 1.0f);
    EXPECT_EQ(mainTab->getValueForText("Chord And Scale"), 0.0f);  // typed text is a number
    EXPECT_EQ(p.unit.settings().mainMode->value.get(), 0.0f);
    EXPECT_TRUE(p.unit.settings().isPolling());
}

TEST(AudioUnit, BeforeRenderResourcesTheHostsMidiIsLeftAlone)
{
    Plugin p;
    p.playHead.set(0, 0.0, 120.0, true);
    EXPECT_EQ(p.block(mixedBlock()), mixedBlock());
    EXPECT_EQ(p.unit.lastRenderStatus(), -10863);
    EXPECT_EQ(p.unit.kernel().liveEventCount.load(), -1);
    EXPECT_EQ(p.recordingCount(), 0);
}

TEST(AudioUnit, MidiComesOutExactlyAsItWentIn)
{
    Plugin p;
    p.prepare();
    p.playHead.set(48000, 2.0, 120.0, true);
    EXPECT_EQ(p.block(mixedBlock()), mixedBlock());
    EXPECT_EQ(p.unit.lastRenderStatus(), 0);

    p.playHead.set(48512, 2.02, 120.0, false);  // stopped
    EXPECT_EQ(p.block(mixedBlock()), mixedBlock());
    p.playHead.set(49024, 2.04, 120.0, true);
    EXPECT_EQ(p.block(mixedBlock(), 512, true), mixedBlock());  // bypassed
    EXPECT_EQ(p.block({}), std::vector<Message>{});

    // Only the playing, unbypassed block was recorded, without the system-exclusive message.
    const auto events = p.liveEvents();
    ASSERT_EQ(events.size(), 1u + 7u);
    EXPECT_EQ(events[1].data, (Corvel::MidiBytes{0x90, 60, 100}));
    EXPECT_EQ(events[3].data, (Corvel::MidiBytes{0xB3, 1, 64}));
    EXPECT_EQ(events[3].sampleTime, 48000 + 17);
    EXPECT_EQ(events[4].data, (Corvel::MidiBytes{0x90, 60, 0}));
}

TEST(AudioUnit, ManyEventsInOneBlockAllComeThrough)
{
    Plugin p;
    p.prepare(48000.0, 1024);
    std::vector<Message> many;
    for (int i = 0; i < 10000; ++i)
        many.push_back({i / 10, {static_cast<juce::uint8>(0x90 | (i % 16)), static_cast<juce::uint8>(i % 128), 1}});
    p.playHead.set(0, 0.0, 120.0, true);
    EXPECT_EQ(p.block(many, 1024), many);
    EXPECT_EQ(p.liveEvents().size(), 10001u);
}

TEST(AudioUnit, RecordingsFollowTheHostsTimeline)
{
    Plugin p;
    p.prepare(48000.0, 512);

    // Play, stop, play on without a jump: one recording.
    p.playHead.set(0, 0.0, 120.0, true);
    p.block({{0, {0x90, 60, 100}}});
    p.playHead.set(512, 0.0213, 120.0, false);
    p.block({{5, {0x80, 60, 0}}});
    p.playHead.set(96000, 4.0, 120.0, true);
    p.block({{24, {0x90, 62, 100}}});
    EXPECT_EQ(p.recordingCount(), 1);
    auto events = p.liveEvents();
    ASSERT_EQ(events.size(), 3u);
    // Beat positions: the block's position plus the offset at the tempo.
    EXPECT_DOUBLE_EQ(events[1].beatPosition, 0.0);
    EXPECT_DOUBLE_EQ(events[2].beatPosition, 4.0 + (24.0 / 48000.0) * 2.0);
    EXPECT_EQ(events[2].bpm, 120.0);

    // A locate back starts a new recording.
    p.playHead.set(48000, 2.0, 120.0, true);
    p.block({{0, {0x90, 64, 100}}});
    EXPECT_EQ(p.recordingCount(), 2);

    // So does a loop that wraps back to its start.
    p.playHead.set(96000, 4.0, 120.0, true, false, true);
    p.block({{0, {0x90, 65, 100}}});
    p.playHead.set(48000, 2.0, 120.0, true, false, true);
    p.block({{0, {0x90, 66, 100}}});
    EXPECT_EQ(p.recordingCount(), 3);
    events = p.liveEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].data, (Corvel::MidiBytes{0x90, 66, 100}));
}

TEST(AudioUnit, WithoutPositionInfoNothingIsRecordedAndMidiIsUntouched)
{
    Plugin p;
    p.prepare();
    p.playHead.info.reset();
    EXPECT_EQ(p.block(mixedBlock()), mixedBlock());
    EXPECT_EQ(p.unit.lastRenderStatus(), -10863);

    // A position without tempo or beat is no better.
    juce::AudioPlayHead::PositionInfo partial;
    partial.setIsPlaying(true);
    partial.setTimeInSamples(0);
    p.playHead.info = partial;
    EXPECT_EQ(p.block(mixedBlock()), mixedBlock());
    EXPECT_EQ(p.unit.lastRenderStatus(), -10863);

    p.processor->setPlayHead(nullptr);
    EXPECT_EQ(p.block(mixedBlock()), mixedBlock());
    EXPECT_EQ(p.recordingCount(), 0);
    EXPECT_EQ(p.unit.kernel().liveRecordingChanged.load(), 0u);
}

TEST(AudioUnit, ScalesAreShownOnlyFromThreePitchClasses)
{
    Plugin p;
    p.prepare();
    p.playHead.set(0, 0.0, 120.0, false);
    p.block({{0, {0x90, 60, 100}}, {0, {0x90, 64, 100}}, {0, {0x90, 72, 100}}});
    EXPECT_TRUE(p.unit.currentScalesForDisplay().empty());  // two pitch classes
    EXPECT_EQ(p.unit.kernel().noteDetector->guessScale().size(), 4u);

    p.block({{0, {0x90, 67, 100}}});
    const auto shown = p.unit.currentScalesForDisplay();
    EXPECT_EQ(shown, p.unit.kernel().noteDetector->guessScale());
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].name, "Major (Ionian)");
}

TEST(AudioUnit, InstancesKeepTheirOwnRecordingsAcrossPrepareAndRelease)
{
    Plugin a;
    Plugin b;
    a.prepare();
    b.prepare();
    a.playHead.set(0, 0.0, 120.0, true);
    b.playHead.set(0, 0.0, 120.0, true);
    a.block({{0, {0x90, 60, 100}}});
    b.block({{0, {0x90, 70, 100}}, {1, {0x80, 70, 0}}});
    a.playHead.set(10, 0.0, 120.0, true);
    a.block({});

    for (int i = 0; i < 20; ++i) {
        a.processor->releaseResources();
        a.prepare(i % 2 ? 44100.0 : 96000.0, 256);
    }
    EXPECT_EQ(a.liveEvents().size(), 2u);
    EXPECT_EQ(b.liveEvents().size(), 3u);
    EXPECT_EQ(a.liveEvents()[1].data, (Corvel::MidiBytes{0x90, 60, 100}));
    EXPECT_EQ(a.unit.inputBus().frameCapacity(), 256u);
}

TEST(AudioUnit, ThePageParameterSurvivesTheHostsStateAndChangesNothingRecorded)
{
    Plugin p;
    p.prepare();
    auto* mainTab = p.processor->getParameters()[0];
    mainTab->setValueNotifyingHost(1.0f);
    pumpMessages();
    EXPECT_EQ(p.unit.settings().mainMode->value.get(), 1.0f);
    EXPECT_EQ(mainTab->getText(mainTab->getValue(), 100), "Chord And Scale");
    EXPECT_EQ(p.recordingCount(), 0);

    juce::MemoryBlock state;
    p.processor->getStateInformation(state);
    Plugin restored;
    restored.processor->setStateInformation(state.getData(), static_cast<int>(state.getSize()));
    pumpMessages();
    EXPECT_EQ(restored.processor->getParameters()[0]->getValue(), 1.0f);
    EXPECT_EQ(restored.unit.settings().mainMode->value.get(), 1.0f);
}

TEST(AudioUnit, TheAudioThreadNeitherAllocatesNorLocksAfterWarmUp)
{
    Plugin p;
    p.prepare(48000.0, 256);
    juce::MidiBuffer midi;
    midi.ensureSize(8192);
    juce::AudioBuffer<float> audio(2, 256);
    auto run = [&](std::int64_t t, int events) {
        midi.clear();
        for (int i = 0; i < events; ++i) {
            const juce::uint8 bytes[3] = {static_cast<juce::uint8>(i % 2 ? 0x80 : 0x90), static_cast<juce::uint8>(40 + i % 40), 90};
            midi.addEvent(bytes, 3, i % 256);
        }
        p.playHead.set(t, static_cast<double>(t) / 24000.0, 120.0, true);
        RealTimeScope scope;
        p.processor->processBlock(audio, midi);
        return scope.allocations() + scope.locks();
    };
    run(0, 256);
    p.unit.settings().pollKernel();

    long total = 0;
    std::int64_t t = 256;
    for (int round = 0; round < 7; ++round) {  // more than five jumps back
        for (int i = 0; i < 40; ++i, t += 256)
            total += run(t, i % 3 == 0 ? 0 : 64);
        p.unit.settings().pollKernel();
        t = round;
    }
    EXPECT_EQ(total, 0);  // allocations and locks
    EXPECT_EQ(p.recordingCount(), 5);
}

// An LV2 host tells its position (frame, tempo, bar, no beat) only when it changes; JUCE's
// wrapper forgets it after that block. Every note of the blocks in between is still recorded,
// at the beat the host's timeline is at, and the audio thread stays free of allocations and
// locks. A host that never tells leaves MIDI alone and nothing recorded.
TEST(AudioUnit, AnLv2HostsPositionIsCarriedBetweenItsUpdates)
{
    Plugin p;
    p.prepare(44100.0, 256);
    juce::MidiBuffer midi;
    midi.ensureSize(1024);
    juce::AudioBuffer<float> audio(2, 256);
    const double bpm = 93.0;
    auto tellPosition = [&](std::int64_t frame) {
        juce::AudioPlayHead::PositionInfo info;
        info.setTimeInSamples(frame);
        info.setBpm(bpm);
        info.setBarCount(static_cast<std::int64_t>(frame / 44100.0 * bpm / 60.0 / 4.0));
        info.setTimeSignature(juce::AudioPlayHead::TimeSignature{4, 4});
        info.setIsPlaying(true);
        p.playHead.info = info;
    };
    long realTimeCost = 0;
    std::int64_t frame = 4410;
    for (int block = 0; block < 200; ++block, frame += 256) {
        if (block % 50 == 0)
            tellPosition(frame);
        else
            p.playHead.info.reset();
        midi.clear();
        const juce::uint8 note[3] = {0x90, static_cast<juce::uint8>(40 + block % 40), 99};
        midi.addEvent(note, 3, block % 256);
        RealTimeScope scope;
        p.processor->processBlock(audio, midi);
        if (block > 0)
            realTimeCost += scope.allocations() + scope.locks();
        ASSERT_EQ(midi.getNumEvents(), 1);
    }
    EXPECT_EQ(realTimeCost, 0);
    const auto events = p.liveEvents();
    ASSERT_EQ(events.size(), 201u);  // the Program Change anchor and every note
    for (std::size_t i = 1; i < events.size(); ++i) {
        const auto& e = events[i];
        EXPECT_EQ(e.sampleTime, 4410 + std::int64_t(i - 1) * 256 + std::int64_t(i - 1) % 256);
        EXPECT_NEAR(e.beatPosition, e.sampleTime / 44100.0 * bpm / 60.0, 1e-9) << i;
    }

    Plugin silent;
    silent.prepare();
    EXPECT_EQ(silent.block({noteOn(60)}), std::vector<Message>{noteOn(60)});
    EXPECT_EQ(silent.recordingCount(), 0);
}

// "Keep takes with the project": off, the saved state is the parameters alone, as ever; on (from
// the header's menu), a fresh plug-in loaded from it lists the same takes and saves the same
// files; "Clear takes" empties the list.
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
    EXPECT_EQ(plainState->getNumAttributes(), 1);  // mainMode
    EXPECT_EQ(plainState->getNumChildElements(), 0);

    TakesMenu menu(saved.settings);
    auto choose = [](TakesMenu& m, const char* item) {
        const auto items = m.menu();
        for (juce::PopupMenu::MenuItemIterator it(items); it.next();)
            if (it.getItem().text == item && it.getItem().isEnabled)
                return it.getItem().action(), true;
        return false;
    };
    ASSERT_TRUE(choose(menu, TakesMenu::keepTakesItem));
    EXPECT_TRUE(saved.unit.keepsTakesWithProject());
    juce::MemoryBlock withTakes;
    saved.processor->getStateInformation(withTakes);
    saved.tick();
    EXPECT_EQ(saved.settings.savedTakes.peek(), (TakesState::Saved{3, 3}));
    EXPECT_TRUE(menu.savedTakesNotice().isEmpty());

    LiveModel loaded;
    loaded.processor->setStateInformation(withTakes.getData(), static_cast<int>(withTakes.getSize()));
    loaded.tick();
    EXPECT_TRUE(loaded.unit.keepsTakesWithProject());
    ASSERT_EQ(loaded.summaries().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& a = *saved.summaries()[i];
        const auto& b = *loaded.summaries()[i];
        EXPECT_EQ(b.originalStartTime, a.originalStartTime);
        EXPECT_EQ(b.noteCount.peek(), a.noteCount.peek());
        EXPECT_EQ(loaded.unit.kernel().midiRecorder->midiFileForRecording(b.originalStartTime),
                  saved.unit.kernel().midiRecorder->midiFileForRecording(a.originalStartTime));
    }

    TakesMenu loadedMenu(loaded.settings);
    ASSERT_TRUE(choose(loadedMenu, TakesMenu::clearTakesItem));
    loaded.tick();
    EXPECT_TRUE(loaded.summaries().empty());
    EXPECT_FALSE(choose(loadedMenu, TakesMenu::clearTakesItem)) << "nothing left to clear";
    loaded.settings.savedTakes.set({2, 5});
    EXPECT_TRUE(loadedMenu.savedTakesNotice().contains("2 newest of 5"));
}
