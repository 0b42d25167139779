// The window's views over the live model: layout facts from the component tree, the texts and
// colours they show, the keyboards' lit keys, and drag to save.

#include "PluginTestSupport.h"
#include "ControlTestSupport.h"

#include "Assets.h"
#include "AudioUnitViewController.h"
#include "ChordsAndScaleView.h"
#include "DragToSaveImage.h"
#include "EventsView.h"
#include "MidiFileSaveDialog.h"
#include "KeyboardStrip.h"
#include "MainView.h"
#include "MidiFileReader.h"
#include "RecordingDetailsView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

using namespace SondrelTest;
using Corvel::MIDIEventType;

namespace {

Corvel::HeldNotes holding(std::initializer_list<int> notes)
{
    Corvel::HeldNotes held{};
    for (int n : notes)
        held[static_cast<std::size_t>(n)] = true;
    return held;
}

/// Plays `notes` as one chord with the transport stopped and lets the model take it in.
void hold(LiveModel& m, std::initializer_list<int> notes)
{
    std::vector<Message> on;
    for (int n : notes)
        on.push_back(noteOn(n));
    m.play(on, false);
    m.tick();
}

juce::MouseEvent click(juce::Component& target)
{
    return mouseEventOn(target, target.getLocalBounds().getCentre().toFloat());
}

juce::MouseEvent dragBy(juce::Component& target, float dx)
{
    return dragEventOn(target, {2.0f, 2.0f}, {2.0f + dx, 2.0f});
}

} // namespace

TEST(Window, TheTimeCellCountsBarsBeatsSixteenthsAndTicks)
{
    const std::pair<double, const char*> cases[] = {
        {0.0, "1  1  1  000"}, {5.375, "2  2  2  060"}, {3.999, "1  4  4  119"}, {4.0, "2  1  1  000"},
        {0.25, "1  1  2  000"}, {0.125, "1  1  1  060"}, {15.75, "4  4  4  000"},
        // Within a millionth of a tick (1/480 beat) of a tick, a position is on it.
        {std::nextafter(1.0, 0.0), "1  2  1  000"}, {1.0 - 1.5e-9, "1  2  1  000"}, {1.0 - 3e-9, "1  1  4  119"},
        {0.125 - 1e-10, "1  1  1  060"}, {-1e-10, "1  1  1  000"}, {123456.0 - 1e-10, "30865  1  1  000"},
        // Before the start: counted back from bar 1, never garbage.
        {-1.0, "0  4  1  000"}, {-0.125, "0  4  4  060"},
        {std::numeric_limits<double>::quiet_NaN(), "-"}, {std::numeric_limits<double>::infinity(), "-"},
        {-std::numeric_limits<double>::infinity(), "-"}, {1e300, "-"},
    };
    for (const auto& [beat, text] : cases)
        EXPECT_EQ(RecordingDetailsView::timeText(beat), text) << beat;

    // A note-off on beat 2 of a real recording (120 BPM: a block at sample 23808, offset 192)
    // is stored a hair before the beat; the table and the exported file both put it on the beat.
    LiveModel m;
    m.playHead.set(23808, 23808 / 48000.0 * 120.0 / 60.0, 120.0, true);
    m.block({noteOff(60, 192)});
    m.tick();
    ASSERT_EQ(m.rows().size(), 2u);
    ASSERT_LT(m.rows()[1].beatPosition, 1.0);
    EXPECT_EQ(RecordingDetailsView::cellTexts(m.rows()[1])[0], "1  2  1  000");
    const auto bytes = m.unit.kernel().midiRecorder->midiFileForRecording(m.summaries().front()->originalStartTime);
    const auto file = Corvel::MidiFileReader::read(*bytes).file;
    ASSERT_TRUE(file.has_value());
    const auto off = std::find_if(file->events.begin(), file->events.end(),
                                  [&](const auto& e) { return e.kind == Corvel::MidiFileEvent::Kind::channel && file->bytesOf(e)[0] == 0x80; });
    ASSERT_NE(off, file->events.end());
    EXPECT_EQ(off->tick, 480u);
}

TEST(Window, TheTableShowsEachKindOfEventInItsOwnWay)
{
    using Cells = std::array<juce::String, 5>;
    const auto cells = [](MIDIEventType type, int channel = 0, std::string note = "C3", int value = 100) {
        return RecordingDetailsView::cellTexts(MidiEvent{0, 0, 0.0, type, channel, std::move(note), value});
    };
    EXPECT_EQ(cells(MIDIEventType::NoteOn), (Cells{"1  1  1  000", "On", "1", "C3", "100"}));
    EXPECT_EQ(cells(MIDIEventType::NoteOff, 15), (Cells{"1  1  1  000", "Off", "16", "C3", "100"}));
    EXPECT_EQ(cells(MIDIEventType::PolyPressure, 2, "A4", 7), (Cells{"1  1  1  000", "Poly Pressure", "3", "A4", "7"}));
    EXPECT_EQ(cells(MIDIEventType::ControlChange, 4, "E4", 127), (Cells{"1  1  1  000", "CC", "5", "-", "-"}));
    EXPECT_EQ(cells(MIDIEventType::ProgramChange), (Cells{"1  1  1  000", "PC", "1", "-", "-"}));
    EXPECT_EQ(cells(MIDIEventType::ChannelPressure, 0, "C3", 64), (Cells{"1  1  1  000", "Pressure", "1", "-", "64"}));
    EXPECT_EQ(cells(MIDIEventType::PitchBend, 1, "C-1", 64), (Cells{"1  1  1  000", "Pitch", "2", "-", "64"}));
    EXPECT_EQ(cells(MIDIEventType::SysEx), (Cells{"1  1  1  000", "Sysex", "-", "-", "-"}));
    EXPECT_EQ(cells(MIDIEventType::AllNotesOff, 9), (Cells{"1  1  1  000", "All Off", "10", "-", "-"}));
    EXPECT_EQ(cells(MIDIEventType::Other), (Cells{"1  1  1  000", "Other", "-", "-", "-"}));
    EXPECT_EQ(cells(static_cast<MIDIEventType>(42)), (Cells{"1  1  1  000", "Other", "-", "-", "-"}));

    // Column widths: four fixed, the last one takes the rest but never less than 50.
    const int widths[] = {84, 100, 60, 50, 50};
    const char* headings[] = {"TIME", "TYPE", "CHANNEL", "NOTE", "VALUE"};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(RecordingDetailsView::layout[i].width, widths[i]);
        EXPECT_STREQ(RecordingDetailsView::layout[i].heading, headings[i]);
    }
}

TEST(Window, TheKeyboardStripLightsTheKeysItCovers)
{
    using Keys = std::vector<LitKey>;
    EXPECT_EQ(KeyboardStrip::litKeys(holding({23})), Keys{});
    EXPECT_EQ(KeyboardStrip::litKeys(holding({24})), (Keys{{"keyboard-yellow-cf", 0, 0}}));
    EXPECT_EQ(KeyboardStrip::litKeys(holding({25})), (Keys{{"keyboard-yellow-blackkeys", 11, 1}}));
    EXPECT_EQ(KeyboardStrip::litKeys(holding({88})), (Keys{{"keyboard-yellow-eb", 629, 0}}));
    EXPECT_EQ(KeyboardStrip::litKeys(holding({89})), Keys{});
    EXPECT_EQ(KeyboardStrip::litKeys(holding({127, 0, 87})), (Keys{{"keyboard-yellow-blackkeys", 119 * 5 + 28, 1}}));
    EXPECT_EQ(KeyboardStrip::litKeys(holding({60, 61, 62})),
              (Keys{{"keyboard-yellow-cf", 17 * 21, 0}, {"keyboard-yellow-blackkeys", 119 * 3 + 11, 1},
                    {"keyboard-yellow-dga", 17 * 22, 0}}));
}

TEST(Window, TheOctavePictureLightsEachPitchClassOnce)
{
    using Keys = std::vector<LitKey>;
    using Corvel::Note;
    EXPECT_EQ(NotesDownPianoView::litKeys({Note::E, Note::C, Note::G, Note::C}, PianoColor::red),
              (Keys{{"keyboard-red-cf", 4, 0}, {"keyboard-red-eb", 38, 0}, {"keyboard-red-dga", 72, 0}}));
    EXPECT_EQ(NotesDownPianoView::litKeys({Note::ASharp, Note::B, Note::FSharp}, PianoColor::blue),
              (Keys{{"keyboard-blue-blackkeys", 66, 1}, {"keyboard-blue-blackkeys", 100, 1}, {"keyboard-blue-eb", 106, 0}}));
    EXPECT_EQ(NotesDownPianoView::keyImage(Note::None, PianoColor::green), std::nullopt);
    EXPECT_EQ(NotesDownPianoView::keyImage(static_cast<Note>(12), PianoColor::green), std::nullopt);
    EXPECT_EQ(NotesDownPianoView::keyImage(Note::D, PianoColor::green), juce::String("keyboard-green-dga"));
    for (const auto& key : NotesDownPianoView::litKeys({Note::C, Note::CSharp, Note::D, Note::DSharp, Note::E, Note::F,
                                                        Note::FSharp, Note::G, Note::GSharp, Note::A, Note::ASharp, Note::B},
                                                       PianoColor::yellow))
        EXPECT_TRUE(pluginAssets().hasImage(key.image)) << key.image;
}

TEST(Window, TheChordPageShowsChordScalesAndNotesInThatOrder)
{
    LiveModel m;
    const auto page = [&] { return ChordsAndScaleView::rowsFor(m.settings.currentChord.peek(), m.settings.currentNotes.peek(),
                                                               m.settings.currentScales.peek()); };
    // Nothing held yet.
    auto rows = ChordsAndScaleView::rowsFor(std::nullopt, {}, {});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].heading, "PLAY SOMETHING");
    EXPECT_EQ(rows[0].secondaryData, juce::String("Lowest note used as tonic for scales"));
    EXPECT_EQ(rows[0].headingColour, "yellowText");
    EXPECT_EQ(rows[0].outlineColour, "yellowBorder");
    EXPECT_FALSE(rows[0].keys.has_value());

    hold(m, {60});
    rows = page();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].heading, "NOTES");
    EXPECT_EQ(rows[0].mainData, juce::String("C4"));
    EXPECT_EQ(NotesDownPianoView::litKeys(*rows[0].keys, rows[0].keyColour), (std::vector<LitKey>{{"keyboard-yellow-cf", 4, 0}}));

    hold(m, {64, 67});
    rows = page();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].heading, "CHORD");
    EXPECT_EQ(rows[0].mainData, juce::String("C Major"));
    EXPECT_EQ(rows[0].headingColour, "redText");
    EXPECT_EQ(rows[0].outlineColour, "redBorder");
    EXPECT_EQ(NotesDownPianoView::litKeys(*rows[0].keys, rows[0].keyColour),
              (std::vector<LitKey>{{"keyboard-red-cf", 4, 0}, {"keyboard-red-eb", 38, 0}, {"keyboard-red-dga", 72, 0}}));
    EXPECT_EQ(rows[1].heading, "SCALE");
    EXPECT_EQ(rows[1].mainData, juce::String("C Major (Ionian)"));
    EXPECT_EQ(rows[1].secondaryData, juce::String("3 of 7 notes"));
    EXPECT_EQ(rows[1].keys->size(), 7u);
    EXPECT_EQ(rows[1].outlineColour, "yellowBorder");
    for (const auto& row : rows)
        EXPECT_NE(row.heading, "NOTES");
    const auto firstMode = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.heading == "MODE"; });
    ASSERT_NE(firstMode, rows.end());
    EXPECT_EQ(firstMode->headingColour, "yellowText");

    // The component builds the same cards, 98 points high.
    ChordsAndScaleView view(m.settings);
    view.setBounds(0, 0, 640, 428);
    ASSERT_EQ(view.rows().size(), 4u);
    EXPECT_EQ(view.rows()[0]->getHeight(), NoteDetailRow::height);
    EXPECT_EQ(view.rows()[1]->getY() - view.rows()[0]->getBottom(), ChordsAndScaleView::spacing);
    ASSERT_NE(view.rows()[0]->piano(), nullptr);
    EXPECT_EQ(view.rows()[0]->piano()->getWidth(), 127);
}

TEST(Window, ChordColoursFollowTheQuality)
{
    const auto chordRow = [](std::initializer_list<int> notes) {
        LiveModel m;
        hold(m, notes);
        return ChordsAndScaleView::rowsFor(m.settings.currentChord.peek(), m.settings.currentNotes.peek(),
                                           m.settings.currentScales.peek());
    };
    auto minor = chordRow({57, 60, 64});
    EXPECT_EQ(minor[0].mainData, juce::String("A Minor"));
    EXPECT_EQ(minor[0].headingColour, "blueText");
    EXPECT_EQ(minor[0].keyColour, PianoColor::blue);

    auto diminished = chordRow({59, 62, 65});
    EXPECT_EQ(diminished[0].headingColour, "greenText");
    EXPECT_EQ(diminished[0].outlineColour, "greenBorder");
    EXPECT_EQ(diminished[0].keyColour, PianoColor::green);

    // A fifth: grey, yellow keys, and with no scales the notes card follows.
    auto fifth = chordRow({60, 67});
    ASSERT_EQ(fifth.size(), 2u);
    EXPECT_EQ(fifth[0].mainData, juce::String("C Fifth"));
    EXPECT_EQ(fifth[0].headingColour, "greyText");
    EXPECT_EQ(fifth[0].outlineColour, "greyBorder");
    EXPECT_EQ(fifth[0].keyColour, PianoColor::yellow);
    EXPECT_EQ(fifth[1].heading, "NOTES");
    EXPECT_EQ(fifth[1].mainData, juce::String("C4, G4"));

    // The same pitch class in two octaves: one key, both notes listed.
    auto octaves = chordRow({60, 72});
    EXPECT_EQ(octaves.back().mainData, juce::String("C4, C5"));
    EXPECT_EQ(octaves.back().keys->size(), 2u);
    EXPECT_EQ(NotesDownPianoView::litKeys(*octaves.back().keys, PianoColor::yellow).size(), 1u);

    // Two scales and a chord leave room for the notes card.
    Corvel::Scale ionian{"Major (Ionian)", Corvel::ScaleType::scale, Corvel::Note::C, 7, 3, {}, {Corvel::Note::C}};
    Corvel::Scale dorian{"Dorian", Corvel::ScaleType::mode, Corvel::Note::D, 7, 3, {}, {Corvel::Note::D}};
    const auto rows = ChordsAndScaleView::rowsFor(Corvel::ChordDescription{"C Major", Corvel::ChordQuality::major},
                                                  {{Corvel::Note::C, 4}}, {ionian, dorian});
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].identifier, "Major (Ionian)C");
    EXPECT_EQ(rows[2].heading, "MODE");
    EXPECT_EQ(rows[2].mainData, juce::String("D Dorian"));
    EXPECT_EQ(rows[3].heading, "NOTES");
}

TEST(Window, TheLayoutScalesUniformlyFromTheTopLeft)
{
    LiveModel m;
    MainView view(m.settings);
    const std::tuple<int, int, float, juce::Rectangle<int>> sizes[] = {
        {1280, 948, 2.0f, {0, 0, 1280, 948}}, {1280, 474, 1.0f, {0, 0, 640, 474}}, {320, 474, 0.5f, {0, 0, 320, 237}},
        {640, 474, 1.0f, {0, 0, 640, 474}},
    };
    for (const auto& [w, h, scale, drawn] : sizes) {
        view.setBounds(0, 0, w, h);
        EXPECT_FLOAT_EQ(view.scale(), scale) << w << "x" << h;
        EXPECT_EQ(view.content().getBoundsInParent(), drawn) << w << "x" << h;
        EXPECT_EQ(view.content().getBounds(), juce::Rectangle<int>(0, 0, 640, 474));
    }
    EXPECT_EQ(view.header().getBounds(), juce::Rectangle<int>(0, 0, 640, 46));
}

TEST(Window, ThePageFollowsTheMainModeParameter)
{
    LiveModel m;
    MainView view(m.settings);
    view.setBounds(0, 0, 640, 474);
    EXPECT_TRUE(view.showsEventsPage());
    ASSERT_NE(view.keyboardStrip(), nullptr);
    EXPECT_EQ(view.keyboardStrip()->getBounds(), juce::Rectangle<int>(0, 474 - 72, 640, 72));
    EXPECT_EQ(view.eventsPage()->getBounds(), juce::Rectangle<int>(9, 46 + 17, 631, 474 - 46 - 17));

    for (const float value : {1.0f, 0.5f, 0.0f}) {
        m.settings.mainMode->setValue(value, Wickerlamp::ParameterEditor::ui, Wickerlamp::ParameterEditorState::change);
        pumpMessages(30);
        EXPECT_EQ(view.showsEventsPage(), value == 0.0f) << value;
        EXPECT_EQ(view.chordsPage() != nullptr, value != 0.0f) << value;
    }
}

TEST(Window, TheEventsPageShowsCardsAndTheSelectedRecordingsEvents)
{
    LiveModel m;
    EventsView page(m.settings);
    page.setBounds(0, 0, 631, 411);
    EXPECT_TRUE(page.showsEmptyState());
    EXPECT_TRUE(page.headline().isVisible());
    EXPECT_EQ(page.headline().getText(), "PRESS PLAY");
    EXPECT_EQ(page.hint().getText(), "MIDI events will appear here");
    EXPECT_EQ(page.headline().getBounds().getCentreX(), page.getWidth() / 2);

    m.play({noteOn(48), {5, {0xB0, 64, 127}}, {9, {0xF0, 0x7E, 0xF7}}});
    m.tick();
    m.jumpBack();
    m.play({noteOn(50)});
    m.tick();
    pumpMessages(30);

    EXPECT_FALSE(page.showsEmptyState());
    EXPECT_FALSE(page.headline().isVisible());
    const auto cards = page.summaryRows();
    ASSERT_EQ(cards.size(), 2u);
    for (auto* card : cards)
        EXPECT_EQ(card->getBounds().getWidth() * 1000 + card->getHeight(), 198 * 1000 + 60);
    EXPECT_EQ(cards[1]->getY() - cards[0]->getBottom(), 6);
    EXPECT_TRUE(cards[0]->isSelected());
    EXPECT_EQ(cards[0]->countText(), "2 EVENTS");  // the opening program change and the note
    EXPECT_EQ(cards[0]->countColour(), pluginAssets().colour("blueText"));
    EXPECT_EQ(cards[0]->borderColour(), pluginAssets().colour("blueBorder"));
    EXPECT_EQ(cards[1]->countColour(), pluginAssets().colour("info"));
    EXPECT_EQ(cards[1]->borderColour(), pluginAssets().colour("greyBorder"));
    EXPECT_EQ(cards[0]->dragSource().imageName(), "midi-icon-blue");
    EXPECT_EQ(cards[1]->dragSource().imageName(), "midi-icon-grey");

    // A click on the second card moves the selection and the table follows.
    cards[1]->mouseUp(click(*cards[1]));
    pumpMessages(30);
    EXPECT_TRUE(cards[1]->isSelected());
    EXPECT_FALSE(cards[0]->isSelected());
    EXPECT_EQ(cards[1]->borderColour(), pluginAssets().colour("blueBorder"));
    EXPECT_EQ(cards[0]->dragSource().imageName(), "midi-icon-grey");
    EXPECT_EQ(cards[1]->countText(), "3 EVENTS");  // SysEx passes through but is not recorded
    const auto& rows = page.details().shownRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(page.details().table().getNumRows(), 3);
    auto& header = page.details().table().getHeader();
    ASSERT_EQ(header.getNumColumns(true), 5);
    const int fixedWidths[] = {84, 100, 60, 50};
    for (int column = 1; column <= 4; ++column)
        EXPECT_EQ(header.getColumnWidth(column), fixedWidths[column - 1]) << column;
    EXPECT_GE(header.getColumnWidth(5), 50);
    EXPECT_EQ(header.getColumnName(5), "VALUE");
    EXPECT_EQ(RecordingDetailsView::cellTexts(rows[0])[1], "PC");
    EXPECT_EQ(RecordingDetailsView::cellTexts(rows[1]), (std::array<juce::String, 5>{"1  1  1  000", "On", "1", "C3", "100"}));
    EXPECT_EQ(RecordingDetailsView::cellTexts(rows[2]), (std::array<juce::String, 5>{"1  1  1  000", "CC", "1", "-", "-"}));

    // Three rows fit: no scroll bar. With many, one that keeps off the window's edge, and the
    // table scrolls by whole rows, at least one per move, so none is cut off under the headings.
    auto& list = page.details().table();
    EXPECT_FALSE(list.getVerticalScrollBar().isVisible());
    cards[0]->mouseUp(click(*cards[0]));
    for (int i = 0; i < 40; ++i)
        m.play({noteOn(60, 1), noteOff(60, 300)});
    m.tick();
    pumpMessages(30);
    ASSERT_GT(page.details().shownRows().size(), 80u);
    const auto& scrollBar = list.getVerticalScrollBar();
    EXPECT_TRUE(scrollBar.isVisible());
    EXPECT_LE(page.getLocalArea(&scrollBar, scrollBar.getLocalBounds()).getRight(), page.getWidth() - 4);
    const int rowHeight = list.getRowHeight();
    auto& viewport = *list.getViewport();
    for (const int target : {5, 5 * rowHeight + 1, 3 * rowHeight - 1, 7 * rowHeight})
        for (const bool wheel : {false, true}) {
            const int from = viewport.getViewPositionY();
            if (wheel)
                list.mouseWheelMove(click(list), juce::MouseWheelDetails{0.0f, target % 2 == 0 ? -0.05f : 0.05f, false, false, false});
            else
                viewport.setViewPosition(0, target);
            pumpMessages(20);
            const int y = viewport.getViewPositionY();
            EXPECT_EQ(y % rowHeight, 0) << target << (wheel ? " wheel" : "");
            EXPECT_NE(y, from) << target << (wheel ? " wheel" : "");
        }

    // The cards' clock follows the locale: 12 hours in en_US (see tools/install-deps.sh), else 24.
    const juce::Time evening(2024, 2, 5, 22, 39, 54);
    EXPECT_EQ(RecordingSummaryRow::clockText(evening, "en_US.UTF-8"), "10:39:54 PM");
    EXPECT_EQ(RecordingSummaryRow::clockText(evening, "C"), "22:39:54");
    const char* lcAll = std::getenv("LC_ALL");
    const std::string before = lcAll != nullptr ? lcAll : "";
    for (const char* locale : {"en_US.UTF-8", "C"}) {
        setenv("LC_ALL", locale, 1);
        RecordingSummaryRow card(m.settings, m.summaries().front());
        EXPECT_EQ(card.timeText().endsWith("M"), locale[0] == 'e') << card.timeText();
    }
    if (lcAll != nullptr)
        setenv("LC_ALL", before.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST(Window, DraggingACardsIconOffersTheRecordingAsAMidiFile)
{
    LiveModel m;
    m.play({noteOn(60), noteOff(60, 200)});
    m.tick();
    const auto startTime = m.summaries().front()->originalStartTime;
    DragToSaveImage icon(m.settings, startTime, true);
    icon.setBounds(0, 0, 30, 38);
    std::vector<juce::File> dragged;
    icon.startExternalDrag = [&](const juce::File& f, juce::Component&) { dragged.push_back(f); };

    testing::internal::CaptureStdout();
    icon.mouseDown(click(icon));
    icon.mouseDrag(dragBy(icon, 10.0f));
    icon.mouseDrag(dragBy(icon, 20.0f));  // one drag, one file
    icon.mouseUp(click(icon));
    const auto printed = testing::internal::GetCapturedStdout();

    ASSERT_EQ(dragged.size(), 1u);
    const auto file = dragged.front();
    EXPECT_EQ(file.getParentDirectory(), juce::File::getSpecialLocation(juce::File::tempDirectory));
    EXPECT_TRUE(file.getFileName().matchesWildcard("MIDI Sondrel ????-??-?? ??.??.??.mid", false)) << file.getFileName();
    EXPECT_EQ(printed, "MIDI saved to: " + file.getFullPathName().toStdString() + "\n");
    juce::MemoryBlock written;
    ASSERT_TRUE(file.loadFileAsData(written));
    const auto expected = *m.unit.kernel().midiRecorder->midiFileForRecording(startTime);
    EXPECT_EQ(written, juce::MemoryBlock(expected.data(), expected.size()));
    EXPECT_EQ(DragToSaveImage::fileNameFor(juce::Time(2024, 2, 5, 14, 7, 9)), "MIDI Sondrel 2024-03-05 14.07.09.mid");
    file.deleteFile();
}

TEST(Window, NoDragStartsWhenTheFileCannotBeOffered)
{
    LiveModel m;
    m.play({noteOn(60)});
    m.play({noteOff(60)});
    m.tick();
    const auto startTime = m.summaries().front()->originalStartTime;

    // A recording pushed out of the five slots.
    for (int i = 0; i < 5; ++i) {
        m.jumpBack();
        m.play({noteOn(61 + i)});
        m.play({noteOff(61 + i)});
        m.tick();
    }
    ASSERT_EQ(m.summaries().size(), 5u);
    ASSERT_NE(m.summaries().back()->originalStartTime, startTime);
    DragToSaveImage icon(m.settings, startTime, false);
    std::vector<juce::File> dragged;
    icon.startExternalDrag = [&](const juce::File& f, juce::Component&) { dragged.push_back(f); };
    testing::internal::CaptureStdout();
    icon.mouseDown(click(icon));
    icon.mouseDrag(dragBy(icon, 10.0f));
    const auto gone = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(dragged.empty());
    EXPECT_EQ(gone.rfind("Failed to save MIDI file: the recording is no longer held", 0), 0u) << gone;
    EXPECT_FALSE(icon.copyToClipboard());

    // The same name twice: the second file replaces the first.
    const auto held = m.summaries().front()->originalStartTime;
    const juce::TemporaryFile target(".mid");
    ASSERT_TRUE(target.getFile().replaceWithText("an older file"));
    testing::internal::CaptureStdout();
    ASSERT_TRUE(DragToSaveImage::writeRecording(m.settings, held, target.getFile()).has_value());
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(target.getFile().loadFileAsString().startsWith("MThd"));
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
        m.play({noteOn(61 + i)});
        m.play({noteOff(61 + i)});
        m.tick();
    }
    ASSERT_FALSE(m.unit.kernel().midiRecorder->midiFileForRecording(startTime).has_value());
    ASSERT_EQ(m.settings.openDialogCount(), 1u);

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
    const auto printed = testing::internal::GetCapturedStdout();
    for (const auto& [file, expected] : {std::pair{target.getFile(), withTempo}, std::pair{plainTarget.getFile(), plain}}) {
        juce::MemoryBlock written;
        ASSERT_TRUE(file.loadFileAsData(written));
        EXPECT_EQ(written, juce::MemoryBlock(expected.data(), expected.size())) << file.getFileName();
    }
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].startsWith("Failed to save MIDI file: ") && told[0].length() > 30) << told[0];
    EXPECT_NE(printed.find("MIDI saved to: " + target.getFile().getFullPathName().toStdString()), std::string::npos);
    EXPECT_NE(printed.find(told[0].toStdString()), std::string::npos) << printed;
}

TEST(Window, TheEditorOpensAtTheDesignSizeAndKeepsItsProportions)
{
    Plugin p;
    std::unique_ptr<juce::AudioProcessorEditor> editor(p.processor->createEditor());
    auto* window = dynamic_cast<AudioUnitViewController*>(editor.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->getWidth(), 640);
    EXPECT_EQ(window->getHeight(), 474);
    EXPECT_TRUE(window->isResizable());
    auto* constrainer = window->getConstrainer();
    ASSERT_NE(constrainer, nullptr);
    EXPECT_DOUBLE_EQ(constrainer->getFixedAspectRatio(), 640.0 / 474.0);
    window->setBounds(constrainer->getMinimumWidth() > 0 ? juce::Rectangle<int>(0, 0, 1280, 948) : juce::Rectangle<int>());
    EXPECT_FLOAT_EQ(window->mainView().scale(), 2.0f);

    // Nothing of the editor's own (a resize grip) lies over the keyboard strip's last key.
    const juce::Rectangle<int> lastKey(2 * 629, 2 * (474 - 72), 2 * 11, 2 * 72);
    for (auto* child : window->getChildren()) {
        if (child != &window->mainView())
            EXPECT_FALSE(child->isVisible() && child->getBounds().intersects(lastKey)) << child->getName();
    }
}
