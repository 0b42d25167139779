#include "NoteDetector.h"
#include "ChordDescription.h"
#include "HeldNotes.h"
#include "KernelHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

using Corvel::ChordDescription;
using Corvel::ChordInformation;
using Corvel::ChordKind;
using Corvel::ChordQuality;
using Corvel::FullNote;
using Corvel::HeldNotes;
using Corvel::Note;
using Corvel::NoteDetector;
using Corvel::Scale;
using Placement = std::pair<std::string, Corvel::Note>;
using SondrelTest::describe;
using SondrelTest::heldSet;

namespace {

/// The lowest note's frequency in equal temperament at A4 = 440 Hz, in single precision.
ChordInformation chord(Note root, ChordKind kind, Note bass, int lowestNote)
{
    const float frequency = exp2f((static_cast<float>(lowestNote) + -69.0f) / 12.0f) * 440.0f;
    return {root, kind, bass, frequency, lowestNote / 12 - 1};
}

/// Plays messages into the kernel of a rig with a running transport.
void play(SondrelTest::Rig& rig, const std::vector<std::vector<std::uint8_t>>& messages)
{
    std::vector<Corvel::RenderEvent> events;
    for (const auto& m : messages)
        events.push_back(Corvel::RenderEvent::midi(1000, m.data(), static_cast<std::uint16_t>(m.size())));
    ASSERT_EQ(rig.run(1000, events), Corvel::noErr);
}

}  // namespace

TEST(NoteDetector, NamesTheChordOfEachHeldSet)
{
    using enum Note;
    using K = ChordKind;
    const struct {
        std::vector<int> notes;
        ChordInformation expected;
    } cases[] = {
        {{}, {}},
        {{69}, {A, K::None, None, 440.0f, 4}},
        {{0}, chord(C, K::None, None, 0)},
        {{36, 48, 60, 72, 84}, {}},
        {{64, 67, 72}, chord(C, K::Major, E, 64)},
        {{66, 69, 72, 76}, chord(A, K::Minor6, FSharp, 66)},
        {{64, 67, 69, 72}, chord(A, K::Minor7, E, 64)},
        {{60, 64, 67, 69}, chord(C, K::Major6, C, 60)},
        {{64, 68, 72}, chord(E, K::Augmented, E, 64)},
        {{60, 64, 67, 70, 73}, {}},
    };
    NoteDetector detector;  // one detector throughout: nothing may carry over between analyses
    for (const auto& c : cases) {
        const HeldNotes held = heldSet(c.notes);
        EXPECT_EQ(detector.detectChordInformation(held.data()), c.expected) << describe(held);
    }
}

TEST(ScaleGuessing, RanksPlacementsOfHeldSets)
{
    using enum Note;
    const struct {
        std::vector<int> notes;
        std::vector<Placement> expected;
    } cases[] = {
        {{}, {}},
        {{48, 60, 64, 72, 76, 79, 91},
         {{"Major (Ionian)", C}, {"Minor (Aeolian)", E}, {"Dorian", G}, {"Mixolydian", C}}},
        // G B D fits the major scale on D and on G, and Mixolydian likewise: the lowest note, G, wins.
        {{55, 59, 62}, {{"Major (Ionian)", G}, {"Minor (Aeolian)", B}, {"Dorian", D}, {"Mixolydian", G}}},
        // Within rank 500, six notes come before seven and eight.
        {{60, 62, 64, 66, 68, 70}, {{"Whole Tone", C}, {"Chromatic", C}}},
        // The six-note blues scale before the seven-note scales of its rank.
        {{60, 63, 66, 67, 70}, {{"Minor (Harmonic)", G}, {"Blues Scale", C}, {"Dorian #4", C}, {"Lydian #2", DSharp}}},
        {{52, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72}, {{"Chromatic", E}}},
    };
    for (const auto& c : cases) {
        std::vector<Placement> got;
        for (const Scale& s : NoteDetector::guessScale(heldSet(c.notes).data()))
            got.emplace_back(s.name, s.root);
        EXPECT_EQ(got, c.expected) << describe(heldSet(c.notes));
    }
}

TEST(ChordPresentation, QualitiesOfKindsAndOfUnknownOnes)
{
    using enum ChordQuality;
    const std::pair<ChordKind, ChordQuality> rows[] = {
        {ChordKind::Min7b5, minor},         {ChordKind::Diminished, diminished}, {ChordKind::Dominant7, dominant},
        {ChordKind::Thirteenth, other},     {static_cast<ChordKind>(0), other},  {static_cast<ChordKind>(19), other},
        {static_cast<ChordKind>(-1), other}};
    for (const auto& [kind, quality] : rows)
        EXPECT_EQ(Corvel::chordQualityForKind(kind), quality) << static_cast<int>(kind);
    EXPECT_EQ(Corvel::chordKindName(static_cast<ChordKind>(19)), "");
}

TEST(ChordPresentation, DescribesTheKernelsCurrentChordAndHeldNotes)
{
    using enum ChordQuality;
    SondrelTest::Rig rig;
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"", other}));
    play(rig, {{0x90, 69, 100}});  // one note: no chord
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"", other}));
    play(rig, {{0x90, 60, 100}, {0x90, 64, 100}, {0x90, 67, 100}, {0x90, 71, 100}, {0x80, 69, 0}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"C Major 7", major}));
    play(rig, {{0xB0, 123, 0}, {0x90, 57, 100}, {0x90, 60, 100}, {0x90, 64, 100}, {0x90, 67, 100}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"A Minor 7", minor}));
    play(rig, {{0x80, 57, 0}, {0x90, 69, 100}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"C Major 6", major}));
    play(rig, {{0xBF, 123, 0}, {0x90, 61, 100}, {0x90, 64, 100}, {0x90, 67, 100}, {0x90, 69, 100}});
    EXPECT_EQ(Corvel::describeCurrentChord(rig.kernel), (ChordDescription{"A Dominant 7", dominant}));

    SondrelTest::Rig notes;
    EXPECT_TRUE(Corvel::heldFullNotes(notes.kernel).empty());
    play(notes, {{0x90, 127, 100}, {0x90, 0, 100}, {0x90, 61, 100}});
    EXPECT_EQ(Corvel::heldFullNotes(notes.kernel),
              (std::vector<FullNote>{{Note::C, -1}, {Note::CSharp, 4}, {Note::G, 9}}));
    play(notes, {{0x90, 61, 0}});
    EXPECT_EQ(Corvel::heldFullNotes(notes.kernel), (std::vector<FullNote>{{Note::C, -1}, {Note::G, 9}}));
}
