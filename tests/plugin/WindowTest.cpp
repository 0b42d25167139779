// The window's views over the live model: what they show, the menu's options, drag and save.

#include "HeldNotes.h"
#include "PluginTestSupport.h"

#include "AudioUnitViewController.h"
#include "ChordsAndScaleView.h"
#include "DragToSaveImage.h"
#include "EventsView.h"
#include "KeyboardStrip.h"
#include "MidiFileSaveDialog.h"
#include "MidiFileWriter.h"
#include "RecordingDetailsView.h"
#include "TakesMenu.h"
#include "TempoDetector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace SondrelTest;

namespace {

/// A left click in the middle of `target`, as JUCE would deliver it.
juce::MouseEvent click(juce::Component& target)
{
    const auto now = juce::Time::getCurrentTime();
    const auto at = target.getLocalBounds().getCentre().toFloat();
    return juce::MouseEvent(juce::Desktop::getInstance().getMainMouseSource(), at,
                            juce::ModifierKeys(juce::ModifierKeys::leftButtonModifier),
                            juce::MouseInputSource::defaultPressure, 0.0f, 0.0f, 0.0f, 0.0f, &target, &target, now, at,
                            now, 1, false);
}

std::vector<std::uint8_t> bytesIn(const juce::File& file)
{
    juce::MemoryBlock bytes;
    EXPECT_TRUE(file.loadFileAsData(bytes)) << file.getFullPathName();
    return {bytes.begin(), bytes.end()};
}

}  // namespace

TEST(Window, TheTimeCellShowsTheTickTheExportedFileHas)
{
    const std::pair<double, const char*> cases[] = {
        {0.0, "1  1  1  000"},
        {5.375, "2  2  2  060"},
        {4.0, "2  1  1  000"},
        {0.25, "1  1  2  000"},
        {0.125, "1  1  1  060"},
        {15.75, "4  4  4  000"},
        // The nearest tick: a host's position a hair early, or rounded to 1/1920 beat, is on it.
        {3.999, "2  1  1  000"},
        {std::nextafter(1.0, 0.0), "1  2  1  000"},
        {1.0 - 0.4 / 480, "1  2  1  000"},
        {1.0 - 0.6 / 480, "1  1  4  119"},
        {123456.0 - 1e-10, "30865  1  1  000"},
        // Before the start (the file has it at tick 0): counted back from bar 1, never garbage.
        {-1.0, "0  4  1  000"},
        {-0.125, "0  4  4  060"},
        {-0.6 / 480, "0  4  4  119"},
        {-0.4 / 480, "1  1  1  000"},
        {std::numeric_limits<double>::quiet_NaN(), "-"},
        {std::numeric_limits<double>::infinity(), "-"},
        {-std::numeric_limits<double>::infinity(), "-"},
        {1e300, "-"},
    };
    for (const auto& [beat, text] : cases)
        EXPECT_EQ(RecordingDetailsView::timeText(beat), text) << beat;
}

TEST(Window, TheKeyboardStripLightsTheKeysItCovers)
{
    using Keys = std::vector<LitKey>;
    EXPECT_EQ(KeyboardStrip::litKeys(heldSet({23})), Keys{});
    EXPECT_EQ(KeyboardStrip::litKeys(heldSet({24})), (Keys{{"keyboard-yellow-cf", 0, 0}}));
    EXPECT_EQ(KeyboardStrip::litKeys(heldSet({25})), (Keys{{"keyboard-yellow-blackkeys", 11, 1}}));
    EXPECT_EQ(KeyboardStrip::litKeys(heldSet({88})), (Keys{{"keyboard-yellow-eb", 629, 0}}));
    EXPECT_EQ(KeyboardStrip::litKeys(heldSet({89})), Keys{});
    EXPECT_EQ(KeyboardStrip::litKeys(heldSet({127, 0, 87})), (Keys{{"keyboard-yellow-blackkeys", 119 * 5 + 28, 1}}));
    EXPECT_EQ(KeyboardStrip::litKeys(heldSet({60, 61, 62})),
              (Keys{{"keyboard-yellow-cf", 17 * 21, 0},
                    {"keyboard-yellow-blackkeys", 119 * 3 + 11, 1},
                    {"keyboard-yellow-dga", 17 * 22, 0}}));
}

TEST(Window, ChordColoursFollowTheQuality)
{
    const auto chordRows = [](std::vector<Message> notes, std::size_t scales = 99) {
        LiveModel m;
        m.play(notes, false);
        m.tick();
        auto found = m.settings.live.currentScales.peek();
        found.erase(found.begin() + std::ptrdiff_t(std::min(scales, found.size())), found.end());
        return ChordsAndScaleView::rowsFor(m.settings.live.currentChord.peek(), m.settings.live.currentNotes.peek(),
                                           found);
    };
    EXPECT_EQ(chordRows({noteOn(57), noteOn(60), noteOn(64)}, 3).size(), 4u);  // a chord and three scales fill it
    const auto minor = chordRows({noteOn(57), noteOn(60), noteOn(64)})[0];
    EXPECT_EQ(std::tuple(minor.mainData, minor.headingColour, minor.keyColour),
              std::tuple(juce::String("A Minor"), juce::String("blueText"), PianoColor::blue));
    // A fifth: grey, yellow keys, and with no scales the notes card follows.
    const auto fifth = chordRows({noteOn(60), noteOn(67)});
    ASSERT_EQ(fifth.size(), 2u);
    EXPECT_EQ(
        std::tuple(fifth[0].mainData, fifth[0].headingColour, fifth[0].outlineColour, fifth[0].keyColour),
        std::tuple(juce::String("C Fifth"), juce::String("greyText"), juce::String("greyBorder"), PianoColor::yellow));
    EXPECT_EQ(std::tuple(fifth[1].heading, fifth[1].mainData),
              std::tuple(juce::String("NOTES"), juce::String("C4, G4")));
}

TEST(Window, TheEventsPageShowsCardsAndTheSelectedRecordingsEvents)
{
    LiveModel m;
    EventsView page(m.settings);
    page.setBounds(0, 0, 631, 411);
    m.play({noteOn(48), {5, {0xB0, 64, 127}}, {9, {0xF0, 0x7E, 0xF7}}});
    m.tick();
    m.jumpBack();
    m.play({noteOn(50)});
    m.tick();
    pumpMessages(30);

    const auto cards = page.summaryRows();
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_TRUE(cards[0]->isSelected());
    EXPECT_EQ(cards[0]->countText(), "2 EVENTS");  // the opening program change and the note
    // A click on the second card moves the selection and the table follows.
    cards[1]->mouseUp(click(*cards[1]));
    pumpMessages(30);
    EXPECT_EQ(std::pair(cards[0]->isSelected(), cards[1]->isSelected()), std::pair(false, true));
    EXPECT_EQ(cards[1]->countText(), "3 EVENTS");  // SysEx is not recorded
    const auto& rows = page.details().shownRows();
    ASSERT_EQ(rows.size(), 3u);
    auto& table = page.details().table();
    EXPECT_EQ(table.getNumRows(), 3);
    EXPECT_EQ((table.getHeight() - table.getHeaderHeight()) % table.getRowHeight(), 0) << "a whole number of rows";
    auto& header = page.details().table().getHeader();
    ASSERT_EQ(header.getNumColumns(true), 5);
    const int fixedWidths[] = {84, 100, 60, 50};
    for (int column = 1; column <= 4; ++column)
        EXPECT_EQ(header.getColumnWidth(column), fixedWidths[column - 1]) << column;
    EXPECT_GE(header.getColumnWidth(5), 50);
    EXPECT_EQ(header.getColumnName(5), "VALUE");
    EXPECT_EQ(RecordingDetailsView::cellTexts(rows[0])[1], "PC");
    EXPECT_EQ(RecordingDetailsView::cellTexts(rows[1]),
              (std::array<juce::String, 5>{"1  1  1  000", "On", "1", "C3", "100"}));
    EXPECT_EQ(RecordingDetailsView::cellTexts(rows[2]),
              (std::array<juce::String, 5>{"1  1  1  000", "CC", "1", "-", "-"}));
    // The cards' clock follows the locale: 12 hours in en_US (see tools/install-deps.sh), else 24.
    const juce::Time evening(2024, 2, 5, 22, 39, 54);
    EXPECT_EQ(RecordingSummaryRow::clockText(evening, "en_US.UTF-8"), "10:39:54 PM");
    EXPECT_EQ(RecordingSummaryRow::clockText(evening, "C"), "22:39:54");
}

TEST(Window, SaveMidiFileWritesTheTakeAsItWasWhenChosenWhateverBecomesOfItsCard)
{
    LiveModel m;
    m.play({noteOn(60), noteOff(60, 200)});
    m.tick();
    const auto startTime = m.summaries().front()->originalStartTime;
    auto& store = *m.unit.kernel().midiRecorder;
    const auto plain = *store.midiFileForRecording(startTime);  // as a drag gives it
    const auto withTempo = *store.midiFileForRecording(startTime, {.withTempo = true});
    ASSERT_NE(plain, withTempo);
    MidiFileSaveDialog* dialog = nullptr;
    {
        EventsView page(m.settings);
        auto& icon = page.summaryRows().front()->dragSource();
        icon.showDialog = [&](MidiFileSaveDialog& d) { dialog = &d; };
        icon.saveWithDialog();
    }
    ASSERT_NE(dialog, nullptr);
    // While the dialog is open the take grows, then drops out of the five.
    m.play({noteOn(62)});
    m.tick();
    for (int i = 0; i < 5; ++i) {
        m.jumpBack();
        m.play({noteOn(61 + i), noteOff(61 + i, 10)});
        m.tick();
    }
    ASSERT_FALSE(store.midiFileForRecording(startTime).has_value());
    ASSERT_EQ(m.settings.dialogs.count(), 1u);

    std::vector<juce::String> told;
    dialog->tell = [&](const juce::String& message) { told.push_back(message); };
    const juce::TemporaryFile target(".mid"), plainTarget(".mid");
    const juce::TemporaryFile blocker;  // a plain file where a folder would have to be
    ASSERT_TRUE(blocker.getFile().replaceWithText("not a folder"));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(dialog->confirm(target.getFile()));  // "with tempo" is on to start with
    dialog->withTempo = false;
    EXPECT_TRUE(dialog->confirm(plainTarget.getFile()));
    EXPECT_FALSE(dialog->confirm(blocker.getFile().getChildFile("x.mid")));
    // A drag is offered no file that could not be written.
    EXPECT_FALSE(DragToSaveImage::writeRecording(m.settings, m.summaries().front()->originalStartTime,
                                                 blocker.getFile().getChildFile("y.mid"))
                     .has_value());
    const auto printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(bytesIn(target.getFile()), withTempo);
    EXPECT_EQ(bytesIn(plainTarget.getFile()), plain);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].startsWith("Failed to save MIDI file: ") && told[0].length() > 30) << told[0];
    EXPECT_NE(printed.find("MIDI saved to: " + target.getFile().getFullPathName().toStdString()), std::string::npos);
    EXPECT_NE(printed.find(told[0].toStdString()), std::string::npos) << printed;
}

// "Capture while stopped", "Takes to keep" and "Zoom" are kept with the project (a state without
// them has them off, at 5 and at 100 %); going down from 25 to 5 keeps the newest 5. The window
// takes 640 x 474 times the zoom (also after the host resized it), the menu ticks it, a host's own
// scale applies on top.
TEST(Window, OptionsAndZoomAreKeptWithTheProject)
{
    const auto sizeOf = [](const juce::Component& c) { return std::pair{c.getWidth(), c.getHeight()}; };
    const auto startTimes = [](LiveModel& m) {
        std::vector<std::int64_t> times;
        for (const auto& summary : m.summaries())
            times.push_back(summary->originalStartTime);
        return times;
    };
    const auto ticked = [](Settings& settings) {
        const auto items = TakesMenu(settings).menu();
        for (juce::PopupMenu::MenuItemIterator it(items, true); it.next();)
            if (it.getItem().isTicked && it.getItem().text.endsWith("%"))
                return it.getItem().text;
        return juce::String();
    };
    LiveModel a;
    TakesMenu menu(a.settings);
    auto window = std::unique_ptr<juce::AudioProcessorEditor>(a.processor->createEditor());
    EXPECT_EQ(sizeOf(*window), std::pair(640, 474));
    for (const char* item : {TakesMenu::captureWhileStoppedItem, "25", TakesMenu::keepTakesItem, "125%"})
        ASSERT_TRUE(choose(menu.menu(), item)) << item;
    EXPECT_EQ(sizeOf(*window), std::pair(800, 593));
    ASSERT_TRUE(choose(menu.menu(), "150%"));
    window->setSize(1280, 948);  // by the host's frame
    ASSERT_TRUE(choose(menu.menu(), "150%"));
    EXPECT_EQ(sizeOf(*window), std::pair(960, 711));
    auto& takes = *dynamic_cast<AudioUnitViewController&>(*window).mainView().header().menuComponent();
    window->setScaleFactor(2.0f);
    EXPECT_FLOAT_EQ(juce::Component::getApproximateScaleFactorForComponent(&takes), 3.0f);
    for (int lap = 0; lap < 30; ++lap) {
        a.jumpBack();
        a.play({noteOn(40 + lap)});
        a.play({noteOff(40 + lap)});
    }
    a.tick();
    const auto newest = startTimes(a);
    ASSERT_EQ(newest.size(), 25u);
    EXPECT_EQ(a.unit.kernel().midiRecorder->copyRecording(newest.front())->events.back().data[1], 40 + 29);
    juce::MemoryBlock chosen, plain;
    a.processor->getStateInformation(chosen);
    LiveModel().processor->getStateInformation(plain);

    LiveModel b;
    window = std::unique_ptr<juce::AudioProcessorEditor>(b.processor->createEditor());
    b.processor->setStateInformation(chosen.getData(), static_cast<int>(chosen.getSize()));
    b.tick();
    EXPECT_EQ(std::tuple(b.unit.capturesWhileStopped(), b.unit.takesToKeep(), startTimes(b), sizeOf(*window)),
              std::tuple(true, 25, newest, std::pair(960, 711)));
    EXPECT_EQ(ticked(b.settings), "150%");
    ASSERT_TRUE(choose(TakesMenu(b.settings).menu(), "5"));
    b.tick();
    EXPECT_EQ(startTimes(b), std::vector(newest.begin(), newest.begin() + 5));
    b.processor->setStateInformation(plain.getData(), static_cast<int>(plain.getSize()));
    b.tick();
    EXPECT_EQ(std::tuple(b.unit.capturesWhileStopped(), b.unit.takesToKeep(), sizeOf(*window), ticked(b.settings)),
              std::tuple(false, 5, std::pair(640, 474), juce::String("100%")));
}

// A free take's card shows, once it holds eight note-ons, the tempo they were played at; "Save
// MIDI File…" offers that tempo to start with and writes the notes on its beats.
TEST(Window, AFreeTakesCardShowsItsTempoAndItsDialogOffersIt)
{
    LiveModel m;
    m.unit.setCapturesWhileStopped(true);
    constexpr std::int64_t beat = 28'800;  // 100 BPM at 48 kHz
    for (std::int64_t block = 0; block * 512 < 10 * beat; ++block) {
        std::vector<Message> notes;
        for (std::int64_t at = (block * 512 + beat - 1) / beat * beat; at < (block + 1) * 512; at += beat)
            notes.push_back(noteOn(60, static_cast<int>(at - block * 512)));
        m.play(notes, false);
        if (block * 512 < 7 * beat)
            m.tick();  // seven note-ons: no tempo yet
    }
    EventsView page(m.settings);
    auto& card = *page.summaryRows().front();
    EXPECT_TRUE(card.stoppedTempoText().isEmpty());
    juce::Thread::sleep(300);  // the tempo is looked at a few times a second
    m.tick();
    pumpMessages(30);
    EXPECT_EQ(card.stoppedTempoText(), juce::String(juce::CharPointer_UTF8("\xe2\x89\x88 100 BPM")));
    EXPECT_EQ(RecordingSummaryRow::clockText(juce::Time(2024, 2, 5, 22, 39, 54), "en_US.UTF-8", false), "10:39 PM");

    MidiFileSaveDialog* dialog = nullptr;
    card.dragSource().showDialog = [&](MidiFileSaveDialog& d) { dialog = &d; };
    card.dragSource().saveWithDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_NEAR(dialog->detectedTempo().value_or(0.0), 100.0, 0.5);
    EXPECT_TRUE(dialog->atDetectedTempo);
    const juce::TemporaryFile target(".mid");
    ASSERT_TRUE(dialog->confirm(target.getFile()));
    const auto take = *m.unit.kernel().midiRecorder->copyRecording(card.item->originalStartTime);
    const auto found = *Corvel::TempoDetector::estimate(take);
    EXPECT_EQ(
        bytesIn(target.getFile()),
        Corvel::MidiFileWriter::writeOnGrid(take.events, {found.bpm, found.firstBeatSampleTime, take.sampleRate}));
}

// On a display (a private Xvfb): at 150 % the window is 960 x 711 on the screen, filled down to
// the keyboard strip, and the takes menu opens half as big again as at 100 %.
TEST(OnScreen, ZoomScalesTheWindowAndItsMenu)
{
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
        GTEST_SKIP() << "no display";
    LiveModel m;
    auto window = std::unique_ptr<juce::AudioProcessorEditor>(m.processor->createEditor());
    window->addToDesktop(0);
    window->setVisible(true);
    auto& takes = dynamic_cast<TakesMenu&>(
        *dynamic_cast<AudioUnitViewController&>(*window).mainView().header().menuComponent());
    const auto onScreen = [](const juce::Component& c) {
        const auto bounds = c.getPeer()->getBounds();
        return juce::Point(bounds.getWidth(), bounds.getHeight());
    };
    const auto menuSize = [&] {
        takes.mouseUp(click(takes));
        juce::Point<int> size;
        for (int i = 0; i < juce::Desktop::getInstance().getNumComponents(); ++i)
            if (auto* c = juce::Desktop::getInstance().getComponent(i); c->getName() == "menu")
                size = onScreen(*c);
        juce::PopupMenu::dismissAllActiveMenus();
        pumpMessages(50);
        return size;
    };
    const auto normal = menuSize();
    ASSERT_GT(normal.x * normal.y, 0);
    ASSERT_TRUE(choose(takes.menu(), "150%"));
    pumpMessages(50);
    EXPECT_EQ(onScreen(*window), juce::Point(960, 711));
    const auto zoomed = menuSize();
    EXPECT_NEAR(zoomed.x, normal.x * 1.5, 1.5);
    EXPECT_NEAR(zoomed.y, normal.y * 1.5, 1.5);

    const auto shot = window->createComponentSnapshot(window->getLocalBounds());
    EXPECT_EQ(std::pair(shot.getWidth(), shot.getHeight()), std::pair(960, 711));
    EXPECT_GT(shot.getPixelAt(8, 700).getBrightness(), 0.8f) << "a white key of the strip at the bottom";
}
