// Scale guessing: which scales and modes, placed on a held pitch class, contain every held
// pitch class, ranked by how common the scale is.

#include "NoteDetector.h"
#include "PitchClassSet.h"

#include <algorithm>

namespace Corvel {

namespace {

struct ScaleShape {
    const ScaleDefinition* definition;
    PitchClassSet mask;
};

const std::vector<ScaleShape>& scaleShapes()
{
    static const std::vector<ScaleShape> shapes = [] {
        std::vector<ScaleShape> rows;
        for (const ScaleDefinition& d : NoteDetector::scaleDefinitions())
            rows.push_back({&d, PitchClassSet::fromIntervals(d.intervals)});
        return rows;
    }();
    return shapes;
}

}  // namespace

const std::vector<ScaleDefinition>& NoteDetector::scaleDefinitions()
{
    using enum ScaleType;
    static const std::vector<ScaleDefinition> table = {
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

std::vector<Scale> NoteDetector::guessScale() const
{
    const HeldNotes held = getOnNotes();
    return guessScale(held.data());
}

std::vector<Scale> NoteDetector::guessScale(const bool* held)
{
    // One read of the flags; everything below works on this snapshot.
    int lowest = -1;
    PitchClassSet pitchClasses;
    for (int n = 0; n < 128; ++n) {
        if (held[n]) {
            if (lowest < 0)
                lowest = n;
            pitchClasses = PitchClassSet(static_cast<std::uint16_t>(pitchClasses.mask() | (1u << (n % 12))));
        }
    }
    if (lowest < 0)
        return {};
    const int tonic = lowest % 12;

    // Placements in generation order: table order, then ascending root. Only held pitch
    // classes are tried as roots.
    struct Candidate {
        const ScaleShape* shape;
        int root;
    };
    std::array<Candidate, 27 * 12> candidates;
    std::size_t count = 0;
    for (const ScaleShape& shape : scaleShapes())
        for (int root : pitchClasses)
            if (shape.mask.transposedUp(root).containsAll(pitchClasses))
                candidates[count++] = {&shape, root};

    // Every candidate holds all the held pitch classes, so the ranking is: rank, then smaller
    // scales first, then scales on the tonic (lowest held note). Equal keys keep generation order.
    std::stable_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(count),
                     [tonic](const Candidate& a, const Candidate& b) {
                         const ScaleDefinition& da = *a.shape->definition;
                         const ScaleDefinition& db = *b.shape->definition;
                         if (da.rank != db.rank)
                             return da.rank < db.rank;
                         if (da.intervals.size() != db.intervals.size())
                             return da.intervals.size() < db.intervals.size();
                         return a.root == tonic && b.root != tonic;
                     });

    std::vector<Note> matchingNotes;
    for (int pc : pitchClasses)
        matchingNotes.push_back(static_cast<Note>(pc));

    std::vector<Scale> results;
    results.reserve(4);
    std::vector<const std::string*> usedNames;
    for (std::size_t i = 0; i < count && results.size() < 4; ++i) {
        const Candidate& c = candidates[i];
        const ScaleDefinition& def = *c.shape->definition;
        if (std::any_of(usedNames.begin(), usedNames.end(), [&](const std::string* n) { return *n == def.name; }))
            continue;
        usedNames.push_back(&def.name);

        Scale scale;
        scale.name = def.name;
        scale.type = def.type;
        scale.root = static_cast<Note>(c.root);
        scale.noteCount = static_cast<std::int32_t>(def.intervals.size());
        scale.matchingNoteCount = static_cast<std::int32_t>(matchingNotes.size());
        scale.matchingNotes = matchingNotes;
        scale.allNotes.reserve(def.intervals.size());
        for (auto interval : def.intervals)
            scale.allNotes.push_back(static_cast<Note>((interval + c.root) % 12));
        results.push_back(std::move(scale));
    }
    return results;
}

}  // namespace Corvel
