#include "ChordDescription.h"
#include "KernelHarness.h"
#include "NoteDetector.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

using Corvel::ChordDescription;
using Corvel::ChordInformation;
using Corvel::ChordKind;
using Corvel::ChordQuality;
using Corvel::FullNote;
using Corvel::HeldNotes;
using Corvel::Note;
using Corvel::NoteDetector;

namespace Corvel {
// Readable failure messages.
[[maybe_unused]] static void PrintTo(const ChordInformation& c, std::ostream* os)
{
    *os << "{root " << static_cast<int>(c.root) << ", kind " << static_cast<int>(c.kind) << ", bass "
        << static_cast<int>(c.bass) << ", frequency " << c.frequency << ", octave " << c.octave << "}";
}
[[maybe_unused]] static void PrintTo(const ChordDescription& d, std::ostream* os)
{
    *os << "{\"" << d.chord << "\", quality " << static_cast<int>(d.quality) << "}";
}
[[maybe_unused]] static void PrintTo(const FullNote& n, std::ostream* os)
{
    *os << "{" << static_cast<int>(n.note) << ", " << n.octave << "}";
}
} // namespace Corvel

using SondrelTest::describe;

namespace {

HeldNotes heldSet(std::initializer_list<int> notes)
{
    HeldNotes held{};
    for (int n : notes)
        held[static_cast<std::size_t>(n)] = true;
    return held;
}

ChordInformation chordOf(std::initializer_list<int> notes)
{
    NoteDetector detector;
    const HeldNotes held = heldSet(notes);
    return detector.detectChordInformation(held.data());
}

/// The chord heard when the notes are played into a detector.
ChordInformation chordPlayed(std::initializer_list<int> notes)
{
    NoteDetector detector;
    for (int n : notes)
        detector.handleNoteOn(static_cast<std::uint8_t>(n), 100);
    return detector.detectChordInformation();
}

float frequencyOf(int note)
{
    return exp2f((static_cast<float>(note) + -69.0f) / 12.0f) * 440.0f;
}

ChordInformation chord(Note root, ChordKind kind, Note bass, int lowestNote)
{
    return {root, kind, bass, frequencyOf(lowestNote), lowestNote / 12 - 1};
}

} // namespace

TEST(NoteDetector, NothingHeldIsNoChordAtAll)
{
    EXPECT_EQ(chordOf({}), (ChordInformation{Note::None, ChordKind::None, Note::None, 0.0f, 0}));
    NoteDetector detector;
    EXPECT_EQ(detector.detectChordInformation(), ChordInformation{});
}

TEST(NoteDetector, OneNoteGivesItsPitchClassFrequencyAndOctaveButNoChord)
{
    const ChordInformation a4 = chordOf({69});
    EXPECT_EQ(a4.root, Note::A);
    EXPECT_EQ(a4.kind, ChordKind::None);
    EXPECT_EQ(a4.bass, Note::None);
    EXPECT_EQ(a4.frequency, 440.0f);
    EXPECT_EQ(a4.octave, 4);

    const ChordInformation c4 = chordOf({60});
    EXPECT_EQ(c4.root, Note::C);
    EXPECT_EQ(c4.frequency, 261.62555f);
    EXPECT_EQ(c4.octave, 4);

    EXPECT_EQ(chordOf({57}).frequency, 220.0f);
    EXPECT_EQ(chordOf({0}), (ChordInformation{Note::C, ChordKind::None, Note::None, frequencyOf(0), -1}));
    EXPECT_EQ(chordOf({127}), (ChordInformation{Note::G, ChordKind::None, Note::None, frequencyOf(127), 9}));
    EXPECT_EQ(chordOf({11}).octave, -1);
    EXPECT_EQ(chordOf({12}).octave, 0);
}

TEST(NoteDetector, OnePitchClassInTwoOctavesIsNoChord)
{
    EXPECT_EQ(chordOf({60, 72}), ChordInformation{});
    EXPECT_EQ(chordOf({36, 48, 60, 72, 84}), ChordInformation{});
}

TEST(NoteDetector, NamesTriadsAndInversionsOnTheirRootWithTheLowestNoteAsBass)
{
    EXPECT_EQ(chordOf({60, 64, 67}), chord(Note::C, ChordKind::Major, Note::C, 60));
    EXPECT_EQ(chordOf({60, 64, 67}).frequency, 261.62555f);
    EXPECT_EQ(chordOf({64, 67, 72}), chord(Note::C, ChordKind::Major, Note::E, 64));
    EXPECT_EQ(chordOf({43, 64, 72, 76, 79}), chord(Note::C, ChordKind::Major, Note::G, 43));
    EXPECT_EQ(chordOf({57, 60, 64}), chord(Note::A, ChordKind::Minor, Note::A, 57));
    EXPECT_EQ(chordOf({62, 65, 68}), chord(Note::D, ChordKind::Diminished, Note::D, 62));
    // F# A C E fits Min7b5 on F# but also Minor 6 on A, which has the higher priority.
    EXPECT_EQ(chordOf({66, 69, 72, 76}), chord(Note::A, ChordKind::Minor6, Note::FSharp, 66));
    EXPECT_EQ(chordOf({67, 71, 74, 77}), chord(Note::G, ChordKind::Dominant7, Note::G, 67));
    EXPECT_EQ(chordOf({60, 64, 67, 71}), chord(Note::C, ChordKind::Major7, Note::C, 60));
    EXPECT_EQ(chordOf({60, 63, 67, 69}), chord(Note::C, ChordKind::Minor6, Note::C, 60));
    EXPECT_EQ(chordOf({60, 67}), chord(Note::C, ChordKind::Fifth, Note::C, 60));
    EXPECT_EQ(chordOf({55, 60}), chord(Note::C, ChordKind::Fifth, Note::G, 55));
}

TEST(NoteDetector, NamesExtendedChords)
{
    EXPECT_EQ(chordOf({60, 62, 64, 67, 69, 70}), chord(Note::C, ChordKind::Thirteenth, Note::C, 60));
    EXPECT_EQ(chordOf({60, 62, 65, 67, 70}), chord(Note::C, ChordKind::Eleventh, Note::C, 60));
    EXPECT_EQ(chordOf({60, 62, 64, 67, 71}), chord(Note::C, ChordKind::Major9, Note::C, 60));
    EXPECT_EQ(chordOf({60, 62, 63, 67, 70}), chord(Note::C, ChordKind::Minor9, Note::C, 60));
    EXPECT_EQ(chordOf({60, 62, 64, 67, 70}), chord(Note::C, ChordKind::Ninth, Note::C, 60));
}

TEST(NoteDetector, AMinorSeventhWithItsThirdInTheBassReadsAsAMajorSixth)
{
    EXPECT_EQ(chordOf({57, 60, 64, 67}), chord(Note::A, ChordKind::Minor7, Note::A, 57));
    EXPECT_EQ(chordOf({60, 64, 67, 69}), chord(Note::C, ChordKind::Major6, Note::C, 60));
    EXPECT_EQ(chordOf({64, 67, 69, 72}), chord(Note::A, ChordKind::Minor7, Note::E, 64));
    EXPECT_EQ(chordOf({67, 69, 72, 76}), chord(Note::A, ChordKind::Minor7, Note::G, 67));
}

TEST(NoteDetector, SymmetricAndAmbiguousShapesPreferTheBassThenTheLowestRoot)
{
    EXPECT_EQ(chordOf({60, 64, 68}), chord(Note::C, ChordKind::Augmented, Note::C, 60));
    EXPECT_EQ(chordOf({64, 68, 72}), chord(Note::E, ChordKind::Augmented, Note::E, 64));
    EXPECT_EQ(chordOf({68, 72, 76}), chord(Note::GSharp, ChordKind::Augmented, Note::GSharp, 68));
    EXPECT_EQ(chordOf({60, 62, 67}), chord(Note::C, ChordKind::Sus2, Note::C, 60));
    EXPECT_EQ(chordOf({67, 72, 74}), chord(Note::G, ChordKind::Sus4, Note::G, 67));
    // D is no possible root: the lowest root pitch class wins.
    EXPECT_EQ(chordOf({62, 67, 72}), chord(Note::C, ChordKind::Sus2, Note::D, 62));
}

TEST(NoteDetector, SetsThatFitNoShapeGiveNoChordEvenWithNotesHeld)
{
    EXPECT_EQ(chordOf({60, 64, 67, 71, 74, 77, 81}), ChordInformation{});
    EXPECT_EQ(chordOf({60, 61}), ChordInformation{});
    EXPECT_EQ(chordOf({60, 61, 62}), ChordInformation{});
    EXPECT_EQ(chordOf({60, 64, 67, 70, 73}), ChordInformation{});  // C7b9 is not in the table
}

TEST(NoteDetector, NoteFlagsFollowOnsOffsAndReset)
{
    NoteDetector detector;
    detector.handleNoteOn(60, 100);
    detector.handleNoteOn(64, 1);
    detector.handleNoteOn(67, 127);
    EXPECT_EQ(detector.detectChordInformation(), chord(Note::C, ChordKind::Major, Note::C, 60));

    detector.handleNoteOn(64, 0);  // velocity 0 releases
    EXPECT_FALSE(detector.getOnNotes()[64]);
    EXPECT_EQ(detector.detectChordInformation(), chord(Note::C, ChordKind::Fifth, Note::C, 60));

    const HeldNotes before = detector.getOnNotes();
    detector.handleNoteOn(128, 100);
    detector.handleNoteOn(255, 100);
    detector.handleNoteOff(200);
    EXPECT_EQ(detector.getOnNotes(), before);

    detector.handleNoteOff(60);
    EXPECT_FALSE(detector.getOnNotes()[60]);
    EXPECT_TRUE(detector.getOnNotes()[67]);
    detector.handleNoteOff(60);  // releasing twice is harmless
    detector.handleNoteOn(0, 5);
    detector.handleNoteOn(127, 5);
    detector.reset();
    EXPECT_EQ(detector.getOnNotes(), HeldNotes{});

    // The returned flags are a copy, not a view.
    HeldNotes copy = detector.getOnNotes();
    copy[10] = true;
    EXPECT_FALSE(detector.getOnNotes()[10]);
}

TEST(NoteDetector, RepeatedAnalysesDoNotCarryStateOver)
{
    NoteDetector detector;
    const HeldNotes big = heldSet({57, 60, 64, 67, 69, 71});
    const HeldNotes small = heldSet({64, 68, 72});
    const ChordInformation bigChord = detector.detectChordInformation(big.data());
    EXPECT_EQ(detector.detectChordInformation(small.data()), chord(Note::E, ChordKind::Augmented, Note::E, 64));
    EXPECT_EQ(detector.detectChordInformation(big.data()), bigChord);
    EXPECT_EQ(detector.detectChordInformation(heldSet({}).data()), ChordInformation{});
    EXPECT_EQ(detector.detectChordInformation(small.data()), chord(Note::E, ChordKind::Augmented, Note::E, 64));
    // Scale guessing in between leaves chord detection alone.
    detector.handleNoteOn(62, 1);
    detector.handleNoteOn(65, 1);
    detector.handleNoteOn(69, 1);
    detector.guessScale();
    EXPECT_EQ(detector.detectChordInformation(), chord(Note::D, ChordKind::Minor, Note::D, 62));
}

TEST(NoteDetector, UniqueSortedPitchClasses)
{
    std::vector<int> out = {99, 98, 97, 96, 95, 94, 93, 92, 91, 90, 89, 88, 87};
    NoteDetector::fillUniqueSortedPitchClasses({67, 60, 72, 64, 55, 127, 0}, out);
    EXPECT_EQ(out, (std::vector<int>{0, 4, 7}));
    NoteDetector::fillUniqueSortedPitchClasses({}, out);
    EXPECT_TRUE(out.empty());
    NoteDetector::fillUniqueSortedPitchClasses({71, 70, 69, 68, 67, 66, 65, 64, 63, 62, 61, 60, 59, 58}, out);
    EXPECT_EQ(out, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    NoteDetector::fillUniqueSortedPitchClasses({13}, out);
    EXPECT_EQ(out, (std::vector<int>{1}));
}

TEST(NoteDetector, NormalizedIntervalsAboveEachRoot)
{
    std::vector<int> out = {5, 5, 5, 5, 5};
    NoteDetector::fillNormalizedIntervals({0, 4, 7}, 0, out);
    EXPECT_EQ(out, (std::vector<int>{0, 4, 7}));
    NoteDetector::fillNormalizedIntervals({0, 4, 7}, 1, out);
    EXPECT_EQ(out, (std::vector<int>{0, 3, 8}));
    NoteDetector::fillNormalizedIntervals({0, 4, 7}, 2, out);
    EXPECT_EQ(out, (std::vector<int>{0, 5, 9}));
    NoteDetector::fillNormalizedIntervals({0, 4, 7, 9}, 3, out);  // C E G A on A
    EXPECT_EQ(out, (std::vector<int>{0, 3, 7, 10}));
    NoteDetector::fillNormalizedIntervals({5}, 0, out);
    EXPECT_EQ(out, (std::vector<int>{0}));
    // Repeated pitch classes collapse.
    NoteDetector::fillNormalizedIntervals({0, 0, 7}, 2, out);
    EXPECT_EQ(out, (std::vector<int>{0, 5}));
    std::vector<int> all(12);
    for (int i = 0; i < 12; ++i)
        all[static_cast<std::size_t>(i)] = i;
    NoteDetector::fillNormalizedIntervals(all, 7, out);
    EXPECT_EQ(out, all);
}

TEST(ChordPresentation, NoteNames)
{
    const std::vector<std::string> names = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(Corvel::noteName(static_cast<Note>(i)), names[static_cast<std::size_t>(i)]);
    EXPECT_EQ(Corvel::noteName(Note::None), "");
    EXPECT_EQ(Corvel::noteName(static_cast<Note>(12)), "");
    EXPECT_EQ(Corvel::noteName(static_cast<Note>(-2)), "");
}

TEST(ChordPresentation, KindNamesAndQualities)
{
    using enum ChordQuality;
    struct Row {
        ChordKind kind;
        const char* name;
        ChordQuality quality;
    };
    const Row rows[] = {
        {ChordKind::Thirteenth, "13th", other},      {ChordKind::Eleventh, "11th", other},
        {ChordKind::Major9, "Major 9", major},       {ChordKind::Minor9, "Minor 9", minor},
        {ChordKind::Ninth, "9th", other},            {ChordKind::Major7, "Major 7", major},
        {ChordKind::Minor7, "Minor 7", minor},       {ChordKind::Dominant7, "Dominant 7", dominant},
        {ChordKind::Major6, "Major 6", major},       {ChordKind::Minor6, "Minor 6", minor},
        {ChordKind::Major, "Major", major},          {ChordKind::Minor, "Minor", minor},
        {ChordKind::Diminished, "Diminished", diminished}, {ChordKind::Augmented, "Augmented", augmented},
        {ChordKind::Sus2, "Sus2", other},            {ChordKind::Sus4, "Sus4", other},
        {ChordKind::Min7b5, "Min7b5", minor},        {ChordKind::Fifth, "Fifth", other},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Corvel::chordKindName(row.kind), row.name);
        EXPECT_EQ(Corvel::chordQualityForKind(row.kind), row.quality) << row.name;
    }
    for (int bad : {0, 19, -1, 1000}) {
        EXPECT_EQ(Corvel::chordKindName(static_cast<ChordKind>(bad)), "") << bad;
        EXPECT_EQ(Corvel::chordQualityForKind(static_cast<ChordKind>(bad)), other) << bad;
    }
}

TEST(ChordPresentation, FullNoteNames)
{
    EXPECT_EQ(Corvel::fullNoteName({Note::C, 4}), "C4");
    EXPECT_EQ(Corvel::fullNoteName({Note::DSharp, -1}), "D#-1");
    EXPECT_EQ(Corvel::fullNoteName({Note::G, 9}), "G9");
    EXPECT_EQ(Corvel::fullNoteName({Note::CSharp, 4}), "C#4");
    EXPECT_EQ(Corvel::fullNoteName({Note::B, 0}), "B0");
    EXPECT_EQ(Corvel::fullNoteName({Note::None, 4}), "None");
    EXPECT_EQ(Corvel::fullNoteName({Note::None, -1}), "None");
    EXPECT_EQ(Corvel::fullNoteName(FullNote{}), "None");
}

namespace {

/// Plays note-ons into the kernel of a rig with a running transport.
void play(SondrelTest::Rig& rig, std::vector<std::vector<std::uint8_t>> messages)
{
    std::vector<Corvel::RenderEvent> events;
    std::int64_t t = 1000;
    for (const auto& m : messages)
        events.push_back(Corvel::RenderEvent::midi(t++, m.data(), static_cast<std::uint16_t>(m.size())));
    ASSERT_EQ(rig.run(1000, events), Corvel::noErr);
}

} // namespace

TEST(ChordPresentation, DescribesTheKernelsCurrentChord)
{
    SondrelTest::Rig rig;
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"", ChordQuality::other}));

    play(rig, {{0x90, 69, 100}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"", ChordQuality::other}));

    play(rig, {{0x90, 60, 100}, {0x90, 64, 100}, {0x90, 67, 100}, {0x90, 71, 100}, {0x80, 69, 0}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"C Major 7", ChordQuality::major}));

    play(rig, {{0xB0, 123, 0}, {0x90, 57, 100}, {0x90, 60, 100}, {0x90, 64, 100}, {0x90, 67, 100}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"A Minor 7", ChordQuality::minor}));
    play(rig, {{0x80, 57, 0}, {0x90, 69, 100}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"C Major 6", ChordQuality::major}));

    play(rig, {{0xBF, 123, 0}, {0x90, 57, 100}, {0x90, 76, 100}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"A Fifth", ChordQuality::other}));

    play(rig, {{0x90, 61, 100}, {0x90, 67, 100}});  // A C# E G
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"A Dominant 7", ChordQuality::dominant}));

    play(rig, {{0xB0, 123, 0}, {0x90, 60, 100}, {0x90, 64, 100}, {0x90, 68, 100}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"C Augmented", ChordQuality::augmented}));

    play(rig, {{0xB0, 123, 0}, {0x90, 60, 100}, {0x90, 63, 100}, {0x90, 66, 100}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"C Diminished", ChordQuality::diminished}));
}

TEST(ChordPresentation, HeldFullNotesInAscendingOrder)
{
    SondrelTest::Rig rig;
    EXPECT_TRUE(Corvel::heldFullNotes(rig.kernel).empty());

    play(rig, {{0x90, 127, 100}, {0x90, 0, 100}, {0x90, 61, 100}});
    const std::vector<FullNote> held = Corvel::heldFullNotes(rig.kernel);
    EXPECT_EQ(held, (std::vector<FullNote>{{Note::C, -1}, {Note::CSharp, 4}, {Note::G, 9}}));
    std::vector<std::string> names;
    for (const FullNote& n : held)
        names.push_back(Corvel::fullNoteName(n));
    EXPECT_EQ(names, (std::vector<std::string>{"C-1", "C#4", "G9"}));

    play(rig, {{0x90, 61, 0}});
    EXPECT_EQ(Corvel::heldFullNotes(rig.kernel), (std::vector<FullNote>{{Note::C, -1}, {Note::G, 9}}));
}

// ---------------------------------------------------------------------------------------------
// Property: the detector agrees with a plain rendering of the chord-naming rules.

namespace {

struct ReferenceShape {
    ChordKind kind;
    std::vector<int> intervals;
    int priority;
};

const std::vector<ReferenceShape>& referenceShapes()
{
    static const std::vector<ReferenceShape> shapes = {
        {ChordKind::Thirteenth, {0, 2, 4, 7, 9, 10}, 100}, {ChordKind::Eleventh, {0, 2, 5, 7, 10}, 90},
        {ChordKind::Major9, {0, 2, 4, 7, 11}, 80},         {ChordKind::Minor9, {0, 2, 3, 7, 10}, 80},
        {ChordKind::Ninth, {0, 2, 4, 7, 10}, 75},          {ChordKind::Major7, {0, 4, 7, 11}, 60},
        {ChordKind::Minor7, {0, 3, 7, 10}, 60},            {ChordKind::Dominant7, {0, 4, 7, 10}, 55},
        {ChordKind::Major6, {0, 4, 7, 9}, 40},             {ChordKind::Minor6, {0, 3, 7, 9}, 40},
        {ChordKind::Major, {0, 4, 7}, 30},                 {ChordKind::Minor, {0, 3, 7}, 30},
        {ChordKind::Diminished, {0, 3, 6}, 28},            {ChordKind::Augmented, {0, 4, 8}, 28},
        {ChordKind::Sus2, {0, 2, 7}, 20},                  {ChordKind::Sus4, {0, 5, 7}, 20},
        {ChordKind::Min7b5, {0, 3, 6, 10}, 15},            {ChordKind::Fifth, {0, 7}, 10},
    };
    return shapes;
}

ChordInformation referenceChord(const HeldNotes& held)
{
    ChordInformation result{Note::None, ChordKind::None, Note::None, 0.0f, 0};
    std::vector<int> notes;
    for (int n = 0; n < 128; ++n)
        if (held[static_cast<std::size_t>(n)])
            notes.push_back(n);
    if (notes.empty())
        return result;
    if (notes.size() == 1) {
        result.root = static_cast<Note>(notes[0] % 12);
        result.frequency = frequencyOf(notes[0]);
        result.octave = notes[0] / 12 - 1;
        return result;
    }

    std::vector<int> pitchClasses;
    for (int n : notes)
        pitchClasses.push_back(n % 12);
    std::sort(pitchClasses.begin(), pitchClasses.end());
    pitchClasses.erase(std::unique(pitchClasses.begin(), pitchClasses.end()), pitchClasses.end());

    struct Match {
        int root;
        ChordKind kind;
        int priority;
    };
    std::vector<Match> matches;
    const int n = static_cast<int>(pitchClasses.size());
    for (int i = 0; i < n; ++i) {
        std::vector<int> intervals;
        for (int k = 0; k < n; ++k)
            intervals.push_back((pitchClasses[static_cast<std::size_t>((i + k) % n)] -
                                 pitchClasses[static_cast<std::size_t>(i)] + 12) % 12);
        std::sort(intervals.begin(), intervals.end());
        for (const ReferenceShape& shape : referenceShapes())
            if (shape.intervals == intervals)
                matches.push_back({pitchClasses[static_cast<std::size_t>(i)], shape.kind, shape.priority});
    }
    if (matches.empty())
        return result;

    int best = matches[0].priority;
    for (const Match& m : matches)
        best = std::max(best, m.priority);
    const int bass = notes[0] % 12;
    const Match* chosen = nullptr;
    for (const Match& m : matches) {
        if (m.priority != best)
            continue;
        if (chosen == nullptr)
            chosen = &m;
        if (m.root == bass) {
            chosen = &m;
            break;
        }
    }
    int root = chosen->root;
    ChordKind kind = chosen->kind;
    if (kind == ChordKind::Minor7 && bass == (root + 3) % 12) {
        kind = ChordKind::Major6;
        root = bass;
    }
    result.root = static_cast<Note>(root);
    result.kind = kind;
    result.bass = static_cast<Note>(bass);
    result.frequency = frequencyOf(notes[0]);
    result.octave = notes[0] / 12 - 1;
    return result;
}

} // namespace

TEST(NoteDetectorProperty, AgreesWithTheNamingRulesOnRandomHeldSets)
{
    std::mt19937 random(0xC40BD);
    std::uniform_int_distribution<int> coin(0, 3);
    std::uniform_int_distribution<int> anyNote(0, 127);
    std::uniform_int_distribution<int> pitchClass(0, 11);
    std::uniform_int_distribution<int> octave(1, 8);
    std::uniform_int_distribution<int> shapeIndex(0, 17);
    std::uniform_int_distribution<int> smallCount(1, 7);

    NoteDetector detector;  // one detector throughout: its scratch storage is reused
    int chordsFound = 0;
    for (int round = 0; round < 5000; ++round) {
        HeldNotes held{};
        const int style = coin(random);
        if (style == 0) {
            // A few arbitrary notes anywhere.
            for (int i = smallCount(random); i > 0; --i)
                held[static_cast<std::size_t>(anyNote(random))] = true;
        } else {
            // A table shape on a random root, voiced over several octaves with doublings,
            // sometimes with one pitch class added or removed.
            const ReferenceShape& shape = referenceShapes()[static_cast<std::size_t>(shapeIndex(random))];
            const int root = pitchClass(random);
            for (int interval : shape.intervals) {
                const int copies = 1 + coin(random) / 2;
                for (int c = 0; c < copies; ++c) {
                    const int note = 12 * octave(random) + (root + interval) % 12;
                    if (note < 128)
                        held[static_cast<std::size_t>(note)] = true;
                }
            }
            if (style == 2)
                held[static_cast<std::size_t>(anyNote(random))] = true;
            if (style == 3 && coin(random) == 0) {
                const int gone = pitchClass(random);
                for (int n = gone; n < 128; n += 12)
                    held[static_cast<std::size_t>(n)] = false;
            }
        }
        const ChordInformation expected = referenceChord(held);
        if (expected.kind != ChordKind::None)
            ++chordsFound;
        ASSERT_EQ(detector.detectChordInformation(held.data()), expected) << describe(held);
    }
    // The sets must exercise chord naming, not only the no-chord path.
    EXPECT_GT(chordsFound, 2000);
}

TEST(NoteDetectorProperty, VoicingAndDoublingChangeOnlyTheBass)
{
    // Every shape on every root in close position, then the same pitch classes doubled an
    // octave up and the root doubled an octave down: only the octave of the bass changes.
    for (const ReferenceShape& shape : referenceShapes()) {
        for (int root = 0; root < 12; ++root) {
            HeldNotes close{};
            for (int interval : shape.intervals)
                close[static_cast<std::size_t>(48 + root + interval)] = true;
            HeldNotes doubled = close;
            for (int interval : shape.intervals)
                doubled[static_cast<std::size_t>(72 + root + interval)] = true;
            doubled[static_cast<std::size_t>(36 + root)] = true;

            NoteDetector detector;
            const ChordInformation a = detector.detectChordInformation(close.data());
            const ChordInformation b = detector.detectChordInformation(doubled.data());
            EXPECT_EQ(a, referenceChord(close)) << describe(close);
            EXPECT_EQ(b.root, a.root) << describe(doubled);
            EXPECT_EQ(b.kind, a.kind) << describe(doubled);
            EXPECT_EQ(b.bass, a.bass);
            EXPECT_EQ(b.octave, a.octave - 1);
            EXPECT_NE(a.kind, ChordKind::None) << describe(close);
        }
    }
}
