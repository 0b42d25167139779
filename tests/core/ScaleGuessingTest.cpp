#include "NoteDetector.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

using Corvel::HeldNotes;
using Corvel::Note;
using Corvel::NoteDetector;
using Corvel::Scale;
using Corvel::ScaleType;

namespace Corvel {
// Readable failure messages.
[[maybe_unused]] static void PrintTo(const Scale& s, std::ostream* os)
{
    *os << "{\"" << s.name << "\" on " << static_cast<int>(s.root) << ", type " << static_cast<int>(s.type)
        << ", notes " << s.noteCount << ", matching " << s.matchingNoteCount << ", all [";
    for (Note n : s.allNotes)
        *os << " " << static_cast<int>(n);
    *os << " ], held [";
    for (Note n : s.matchingNotes)
        *os << " " << static_cast<int>(n);
    *os << " ]}";
}
[[maybe_unused]] static void PrintTo(Note n, std::ostream* os) { *os << static_cast<int>(n); }
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

std::vector<Scale> guess(std::initializer_list<int> notes)
{
    const HeldNotes held = heldSet(notes);
    return NoteDetector::guessScale(held.data());
}

using Placement = std::pair<std::string, Note>;

std::vector<Placement> placements(const std::vector<Scale>& scales)
{
    std::vector<Placement> out;
    for (const Scale& s : scales)
        out.emplace_back(s.name, s.root);
    return out;
}

std::vector<Note> notesOf(std::initializer_list<int> pitchClasses)
{
    std::vector<Note> out;
    for (int pc : pitchClasses)
        out.push_back(static_cast<Note>(pc));
    return out;
}

} // namespace

TEST(ScaleGuessing, NothingHeldGivesNothing)
{
    EXPECT_TRUE(guess({}).empty());
    NoteDetector detector;
    EXPECT_TRUE(detector.guessScale().empty());
}

TEST(ScaleGuessing, CMajorTriad)
{
    const auto scales = guess({60, 64, 67});
    EXPECT_EQ(placements(scales), (std::vector<Placement>{{"Major (Ionian)", Note::C},
                                                          {"Minor (Aeolian)", Note::E},
                                                          {"Dorian", Note::G},
                                                          {"Mixolydian", Note::C}}));
    ASSERT_EQ(scales.size(), 4u);
    const Scale& major = scales[0];
    EXPECT_EQ(major.type, ScaleType::scale);
    EXPECT_EQ(major.noteCount, 7);
    EXPECT_EQ(major.matchingNoteCount, 3);
    EXPECT_EQ(major.matchingNotes, notesOf({0, 4, 7}));
    EXPECT_EQ(major.allNotes, notesOf({0, 2, 4, 5, 7, 9, 11}));
    EXPECT_EQ(scales[1].type, ScaleType::scale);
    EXPECT_EQ(scales[1].allNotes, notesOf({4, 6, 7, 9, 11, 0, 2}));
    EXPECT_EQ(scales[2].type, ScaleType::mode);
    EXPECT_EQ(scales[2].allNotes, notesOf({7, 9, 10, 0, 2, 4, 5}));
    EXPECT_EQ(scales[3].type, ScaleType::mode);
    for (const Scale& s : scales)
        EXPECT_EQ(s.matchingNotes, notesOf({0, 4, 7})) << s.name;
}

TEST(ScaleGuessing, CMajorScale)
{
    EXPECT_EQ(placements(guess({60, 62, 64, 65, 67, 69, 71})),
              (std::vector<Placement>{{"Major (Ionian)", Note::C},
                                      {"Minor (Aeolian)", Note::A},
                                      {"Dorian", Note::D},
                                      {"Mixolydian", Note::G}}));
    // The order of the notes' octaves does not matter, only which note is lowest.
    EXPECT_EQ(placements(guess({48, 74, 88, 65, 67, 81, 95})),
              placements(guess({60, 62, 64, 65, 67, 69, 71})));
}

TEST(ScaleGuessing, CMinorTriadIsPlacedOnItsRelativeMajor)
{
    EXPECT_EQ(placements(guess({60, 63, 67})), (std::vector<Placement>{{"Major (Ionian)", Note::DSharp},
                                                                       {"Minor (Aeolian)", Note::C},
                                                                       {"Dorian", Note::C},
                                                                       {"Mixolydian", Note::DSharp}}));
}

TEST(ScaleGuessing, AllTwelvePitchClassesFitOnlyChromaticOnTheTonic)
{
    const auto scales = guess({60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71});
    ASSERT_EQ(scales.size(), 1u);
    EXPECT_EQ(scales[0].name, "Chromatic");
    EXPECT_EQ(scales[0].root, Note::C);
    EXPECT_EQ(scales[0].noteCount, 12);
    EXPECT_EQ(scales[0].matchingNoteCount, 12);

    // Starting from another lowest note, the chromatic scale is placed there.
    const auto fromE = guess({52, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72});
    ASSERT_EQ(fromE.size(), 1u);
    EXPECT_EQ(fromE[0].root, Note::E);
    EXPECT_EQ(fromE[0].allNotes, notesOf({4, 5, 6, 7, 8, 9, 10, 11, 0, 1, 2, 3}));
    EXPECT_EQ(fromE[0].matchingNotes, notesOf({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST(ScaleGuessing, OneNoteFitsEverythingOnThatNote)
{
    const auto scales = guess({60});
    EXPECT_EQ(placements(scales), (std::vector<Placement>{{"Major (Ionian)", Note::C},
                                                          {"Minor (Aeolian)", Note::C},
                                                          {"Dorian", Note::C},
                                                          {"Mixolydian", Note::C}}));
    for (const Scale& s : scales) {
        EXPECT_EQ(s.matchingNoteCount, 1);
        EXPECT_EQ(s.matchingNotes, notesOf({0}));
    }
}

TEST(ScaleGuessing, TwoPitchClasses)
{
    const auto scales = guess({60, 64});
    EXPECT_EQ(placements(scales), (std::vector<Placement>{{"Major (Ionian)", Note::C},
                                                          {"Minor (Aeolian)", Note::E},
                                                          {"Mixolydian", Note::C},
                                                          {"Phrygian", Note::E}}));
    for (const Scale& s : scales)
        EXPECT_EQ(s.matchingNoteCount, 2);
}

TEST(ScaleGuessing, OctaveDuplicatesCountOnce)
{
    const auto scales = guess({48, 60, 64, 72, 76, 79, 91});
    ASSERT_FALSE(scales.empty());
    for (const Scale& s : scales) {
        EXPECT_EQ(s.matchingNoteCount, 3);
        EXPECT_EQ(s.matchingNotes, notesOf({0, 4, 7}));
    }
    EXPECT_EQ(placements(scales), placements(guess({60, 64, 67})));
}

TEST(ScaleGuessing, AllNotesWrapFromTheRootWhileMatchingNotesAscend)
{
    // G B D with G lowest: the major scale on G comes first.
    const auto scales = guess({55, 59, 62});
    ASSERT_FALSE(scales.empty());
    EXPECT_EQ(scales[0].name, "Major (Ionian)");
    EXPECT_EQ(scales[0].root, Note::G);
    EXPECT_EQ(scales[0].allNotes, notesOf({7, 9, 11, 0, 2, 4, 6}));
    EXPECT_EQ(scales[0].matchingNotes, notesOf({2, 7, 11}));
}

TEST(ScaleGuessing, SetsOnlyTheChromaticScaleHoldsGiveOnlyChromatic)
{
    const auto five = guess({60, 61, 62, 63, 64});
    ASSERT_EQ(five.size(), 1u);
    EXPECT_EQ(five[0].name, "Chromatic");
    EXPECT_EQ(five[0].root, Note::C);
    EXPECT_EQ(five[0].type, ScaleType::scale);

    // Four neighbouring semitones still fit the enigmatic scale on D (D D# E ... C C#).
    const auto four = guess({60, 61, 62, 63});
    ASSERT_EQ(four.size(), 2u);
    EXPECT_EQ(four[0].name, "Enigmatic");
    EXPECT_EQ(four[0].root, Note::D);
    EXPECT_EQ(four[0].allNotes, notesOf({2, 3, 6, 8, 10, 0, 1}));
    EXPECT_EQ(four[1].name, "Chromatic");
    EXPECT_EQ(four[1].root, Note::C);
}

TEST(ScaleGuessing, SmallerScalesComeFirstWithinARank)
{
    // C D E G A fits the major pentatonic (rank 8) and the major scale (rank 0) and more; a
    // pentatonic never comes before a better-ranked heptatonic scale.
    const auto scales = guess({60, 62, 64, 67, 69});
    ASSERT_EQ(scales.size(), 4u);
    EXPECT_EQ(scales[0].name, "Major (Ionian)");
    // Among rank-500 scales, six-note ones come before seven- and eight-note ones: the
    // whole-tone set C D E F# G# A# fits only Whole Tone and Chromatic.
    const auto wholeTone = guess({60, 62, 64, 66, 68, 70});
    EXPECT_EQ(placements(wholeTone), (std::vector<Placement>{{"Whole Tone", Note::C}, {"Chromatic", Note::C}}));
}

TEST(ScaleGuessing, NeverMoreThanFourAndNoNameTwice)
{
    for (int pc = 0; pc < 12; ++pc) {
        const auto one = guess({48 + pc});
        EXPECT_EQ(one.size(), 4u);
        const auto triad = guess({48 + pc, 52 + pc, 55 + pc});
        std::set<std::string> names;
        for (const Scale& s : triad)
            names.insert(s.name);
        EXPECT_EQ(names.size(), triad.size());
        EXPECT_LE(triad.size(), 4u);
    }
}

TEST(ScaleGuessing, TheDetectorGuessesFromItsHeldNotes)
{
    NoteDetector detector;
    for (int n : {67, 60, 64})
        detector.handleNoteOn(static_cast<std::uint8_t>(n), 90);
    EXPECT_EQ(detector.guessScale(), guess({60, 64, 67}));
    detector.handleNoteOff(60);
    EXPECT_EQ(detector.guessScale(), guess({64, 67}));
    detector.reset();
    EXPECT_TRUE(detector.guessScale().empty());
}

// ---------------------------------------------------------------------------------------------
// Property: the ranking agrees with a plain rendering of the rules over random held sets.

namespace {

struct ReferenceScale {
    std::string name;
    std::vector<int> intervals;
    ScaleType type;
    int rank;
};

const std::vector<ReferenceScale>& referenceScales()
{
    using enum ScaleType;
    static const std::vector<ReferenceScale> table = {
        {"Major (Ionian)", {0, 2, 4, 5, 7, 9, 11}, scale, 0},
        {"Dorian", {0, 2, 3, 5, 7, 9, 10}, mode, 2},
        {"Phrygian", {0, 1, 3, 5, 7, 8, 10}, mode, 4},
        {"Lydian", {0, 2, 4, 6, 7, 9, 11}, mode, 5},
        {"Mixolydian", {0, 2, 4, 5, 7, 9, 10}, mode, 3},
        {"Minor (Aeolian)", {0, 2, 3, 5, 7, 8, 10}, scale, 1},
        {"Locrian", {0, 1, 3, 5, 6, 8, 10}, mode, 6},
        {"Major Pentatonic", {0, 2, 4, 7, 9}, scale, 8},
        {"Minor Pentatonic", {0, 3, 5, 7, 10}, scale, 7},
        {"Minor (Natural)", {0, 2, 3, 5, 7, 8, 10}, scale, 300},
        {"Minor (Harmonic)", {0, 2, 3, 5, 7, 8, 11}, scale, 300},
        {"Minor (Melodic)", {0, 2, 3, 5, 7, 9, 11}, scale, 300},
        {"Aeolian Dominant", {0, 2, 4, 5, 7, 8, 10}, mode, 500},
        {"Phrygian Dominant", {0, 1, 4, 5, 7, 8, 10}, mode, 500},
        {"Super Locrian", {0, 1, 3, 4, 6, 8, 10}, mode, 500},
        {"Lydian #2", {0, 3, 4, 6, 7, 9, 11}, mode, 500},
        {"Ionian #5", {0, 2, 4, 5, 8, 9, 11}, mode, 500},
        {"Dorian #4", {0, 2, 3, 6, 7, 9, 10}, mode, 500},
        {"Locrian natural 6", {0, 1, 3, 5, 6, 9, 10}, mode, 500},
        {"Blues Scale", {0, 3, 5, 6, 7, 10}, scale, 500},
        {"Whole Tone", {0, 2, 4, 6, 8, 10}, scale, 500},
        {"Half-Whole Diminished", {0, 1, 3, 4, 6, 7, 9, 10}, scale, 500},
        {"Whole-Half Diminished", {0, 2, 3, 5, 6, 8, 9, 11}, scale, 500},
        {"Hungarian Minor", {0, 2, 3, 6, 7, 8, 11}, scale, 500},
        {"Double Harmonic Major", {0, 1, 4, 5, 7, 8, 11}, scale, 500},
        {"Enigmatic", {0, 1, 4, 6, 8, 10, 11}, scale, 500},
        {"Chromatic", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, scale, 999},
    };
    return table;
}

std::vector<Scale> referenceGuess(const HeldNotes& held)
{
    std::vector<int> notes;
    for (int n = 0; n < 128; ++n)
        if (held[static_cast<std::size_t>(n)])
            notes.push_back(n);
    if (notes.empty())
        return {};
    const int tonic = notes[0] % 12;
    std::vector<int> pitchClasses;
    for (int n : notes)
        pitchClasses.push_back(n % 12);
    std::sort(pitchClasses.begin(), pitchClasses.end());
    pitchClasses.erase(std::unique(pitchClasses.begin(), pitchClasses.end()), pitchClasses.end());

    struct Candidate {
        const ReferenceScale* definition;
        int root;
        int matchingNoteCount;
        int noteCount;
        std::vector<int> matchingNotes;
        std::vector<int> allNotes;
    };
    std::vector<Candidate> candidates;
    for (const ReferenceScale& definition : referenceScales()) {
        for (int p : pitchClasses) {
            bool flags[12] = {};
            for (int i : definition.intervals)
                flags[(i + p) % 12] = true;
            bool fits = true;
            for (int pc : pitchClasses)
                fits = fits && flags[pc];
            if (!fits)
                continue;
            Candidate c{&definition, p, static_cast<int>(pitchClasses.size()),
                        static_cast<int>(definition.intervals.size()), pitchClasses, {}};
            for (int i : definition.intervals)
                c.allNotes.push_back((i + p) % 12);
            candidates.push_back(std::move(c));
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), [tonic](const Candidate& a, const Candidate& b) {
        if (a.matchingNoteCount != b.matchingNoteCount)
            return a.matchingNoteCount > b.matchingNoteCount;
        if (a.definition->rank != b.definition->rank)
            return a.definition->rank < b.definition->rank;
        if (a.noteCount != b.noteCount)
            return a.noteCount < b.noteCount;
        return a.root == tonic && b.root != tonic;
    });

    std::vector<Scale> results;
    std::set<std::string> used;
    for (const Candidate& c : candidates) {
        if (results.size() == 4)
            break;
        if (!used.insert(c.definition->name).second)
            continue;
        Scale s;
        s.name = c.definition->name;
        s.type = c.definition->type;
        s.root = static_cast<Note>(c.root);
        s.noteCount = c.noteCount;
        s.matchingNoteCount = c.matchingNoteCount;
        for (int pc : c.matchingNotes)
            s.matchingNotes.push_back(static_cast<Note>(pc));
        for (int pc : c.allNotes)
            s.allNotes.push_back(static_cast<Note>(pc));
        results.push_back(std::move(s));
    }
    return results;
}

} // namespace

TEST(ScaleGuessingProperty, AgreesWithTheRankingRulesOnRandomHeldSets)
{
    std::mt19937 random(0x5CA1E);
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<int> anyNote(0, 127);
    std::uniform_int_distribution<int> count(1, 9);
    std::uniform_int_distribution<int> pitchClass(0, 11);
    std::uniform_int_distribution<int> octave(0, 9);
    std::uniform_int_distribution<std::size_t> scaleIndex(0, referenceScales().size() - 1);

    std::size_t withThreeOrMore = 0;
    for (int round = 0; round < 4000; ++round) {
        HeldNotes held{};
        if (coin(random) == 0) {
            for (int i = count(random); i > 0; --i)
                held[static_cast<std::size_t>(anyNote(random))] = true;
        } else {
            // Some notes of one scale, in random octaves.
            const ReferenceScale& s = referenceScales()[scaleIndex(random)];
            const int root = pitchClass(random);
            for (int i = count(random); i > 0; --i) {
                const int interval = s.intervals[static_cast<std::size_t>(anyNote(random)) % s.intervals.size()];
                const int note = 12 * octave(random) + (root + interval) % 12;
                if (note < 128)
                    held[static_cast<std::size_t>(note)] = true;
            }
        }
        const auto expected = referenceGuess(held);
        const auto actual = NoteDetector::guessScale(held.data());
        ASSERT_EQ(actual, expected) << describe(held);
        if (!expected.empty() && expected[0].matchingNoteCount >= 3)
            ++withThreeOrMore;
    }
    EXPECT_GT(withThreeOrMore, 2000u);
}
