#include "HeldNotes.h"
#include "NoteDetector.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using Corvel::Note;
using Corvel::NoteDetector;
using Corvel::Scale;
using SondrelTest::describe;
using SondrelTest::heldSet;

using Placement = std::pair<std::string, Note>;

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
