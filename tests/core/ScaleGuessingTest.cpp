#include "NoteDetector.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

using Corvel::HeldNotes;
using Corvel::Note;
using Corvel::NoteDetector;
using Corvel::Scale;
using Corvel::ScaleType;

using SondrelTest::describe;
using SondrelTest::heldSet;

// ---------------------------------------------------------------------------------------------
// Property: the ranking agrees with a plain rendering of the rules over random held sets.

namespace {

struct ReferenceScale { std::string name; std::vector<int> intervals; ScaleType type; int rank; };

const std::vector<ReferenceScale>& referenceScales()
{
    using enum ScaleType;
    static const std::vector<ReferenceScale> table = {
        {"Major (Ionian)", {0, 2, 4, 5, 7, 9, 11}, scale, 0},     {"Dorian", {0, 2, 3, 5, 7, 9, 10}, mode, 2},
        {"Phrygian", {0, 1, 3, 5, 7, 8, 10}, mode, 4},            {"Lydian", {0, 2, 4, 6, 7, 9, 11}, mode, 5},
        {"Mixolydian", {0, 2, 4, 5, 7, 9, 10}, mode, 3},          {"Minor (Aeolian)", {0, 2, 3, 5, 7, 8, 10}, scale, 1},
        {"Locrian", {0, 1, 3, 5, 6, 8, 10}, mode, 6},             {"Major Pentatonic", {0, 2, 4, 7, 9}, scale, 8},
        {"Minor Pentatonic", {0, 3, 5, 7, 10}, scale, 7},
        {"Minor (Natural)", {0, 2, 3, 5, 7, 8, 10}, scale, 300},
        {"Minor (Harmonic)", {0, 2, 3, 5, 7, 8, 11}, scale, 300},
        {"Minor (Melodic)", {0, 2, 3, 5, 7, 9, 11}, scale, 300},
        {"Aeolian Dominant", {0, 2, 4, 5, 7, 8, 10}, mode, 500},
        {"Phrygian Dominant", {0, 1, 4, 5, 7, 8, 10}, mode, 500},
        {"Super Locrian", {0, 1, 3, 4, 6, 8, 10}, mode, 500},     {"Lydian #2", {0, 3, 4, 6, 7, 9, 11}, mode, 500},
        {"Ionian #5", {0, 2, 4, 5, 8, 9, 11}, mode, 500},         {"Dorian #4", {0, 2, 3, 6, 7, 9, 10}, mode, 500},
        {"Locrian natural 6", {0, 1, 3, 5, 6, 9, 10}, mode, 500}, {"Blues Scale", {0, 3, 5, 6, 7, 10}, scale, 500},
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

/// Every scale placed on every held pitch class that holds all of them, sorted by rank, then
/// size, then placement on the lowest note; the first four distinct names.
std::vector<Scale> referenceGuess(const HeldNotes& held)
{
    std::set<int> pitchClasses;
    int tonic = -1;
    for (int n = 0; n < 128; ++n)
        if (held[static_cast<std::size_t>(n)]) {
            pitchClasses.insert(n % 12);
            tonic = tonic < 0 ? n % 12 : tonic;
        }
    struct Candidate { const ReferenceScale* definition; int root; };
    std::vector<Candidate> candidates;
    for (const ReferenceScale& definition : referenceScales())
        for (int root : pitchClasses) {
            std::set<int> scaleNotes;
            for (int i : definition.intervals)
                scaleNotes.insert((i + root) % 12);
            if (std::includes(scaleNotes.begin(), scaleNotes.end(), pitchClasses.begin(), pitchClasses.end()))
                candidates.push_back({&definition, root});
        }
    std::stable_sort(candidates.begin(), candidates.end(), [tonic](const Candidate& a, const Candidate& b) {
        if (a.definition->rank != b.definition->rank)
            return a.definition->rank < b.definition->rank;
        if (a.definition->intervals.size() != b.definition->intervals.size())
            return a.definition->intervals.size() < b.definition->intervals.size();
        return a.root == tonic && b.root != tonic;
    });

    std::vector<Scale> results;
    std::set<std::string> used;
    for (const Candidate& c : candidates) {
        if (results.size() == 4 || !used.insert(c.definition->name).second)
            continue;
        Scale s{c.definition->name, c.definition->type, static_cast<Note>(c.root),
                static_cast<int>(c.definition->intervals.size()), static_cast<int>(pitchClasses.size()), {}, {}};
        for (int pc : pitchClasses)
            s.matchingNotes.push_back(static_cast<Note>(pc));
        for (int i : c.definition->intervals)
            s.allNotes.push_back(static_cast<Note>((i + c.root) % 12));
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
        // At most four, never a name twice, whatever the reference says.
        std::set<std::string> names;
        for (const Scale& s : actual)
            names.insert(s.name);
        ASSERT_LE(actual.size(), 4u);
        ASSERT_EQ(names.size(), actual.size()) << describe(held);
        if (!expected.empty() && expected[0].matchingNoteCount >= 3)
            ++withThreeOrMore;
    }
    EXPECT_GT(withThreeOrMore, 2000u);
}
