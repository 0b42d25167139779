#include "NoteDetector.h"

#include "PitchClassSet.h"

#include <algorithm>
#include <cmath>

namespace Corvel {

namespace {

struct ChordShape {
    ChordType type;
    PitchClassSet mask;
};

const std::vector<ChordShape>& chordShapes()
{
    static const std::vector<ChordShape> shapes = [] {
        std::vector<ChordShape> rows;
        for (const ChordType& type : NoteDetector::chordTypes())
            rows.push_back({type, PitchClassSet::fromIntervals(type.intervals)});
        return rows;
    }();
    return shapes;
}

float frequencyOfNote(int note) noexcept { return exp2f((static_cast<float>(note) + -69.0f) / 12.0f) * 440.0f; }

}  // namespace

const std::vector<ChordType>& NoteDetector::chordTypes()
{
    static const std::vector<ChordType> table = {
        {ChordKind::Thirteenth, {0, 2, 4, 7, 9, 10}, 100},
        {ChordKind::Eleventh, {0, 2, 5, 7, 10}, 90},
        {ChordKind::Major9, {0, 2, 4, 7, 11}, 80},
        {ChordKind::Minor9, {0, 2, 3, 7, 10}, 80},
        {ChordKind::Ninth, {0, 2, 4, 7, 10}, 75},
        {ChordKind::Major7, {0, 4, 7, 11}, 60},
        {ChordKind::Minor7, {0, 3, 7, 10}, 60},
        {ChordKind::Dominant7, {0, 4, 7, 10}, 55},
        {ChordKind::Major6, {0, 4, 7, 9}, 40},
        {ChordKind::Minor6, {0, 3, 7, 9}, 40},
        {ChordKind::Major, {0, 4, 7}, 30},
        {ChordKind::Minor, {0, 3, 7}, 30},
        {ChordKind::Diminished, {0, 3, 6}, 28},
        {ChordKind::Augmented, {0, 4, 8}, 28},
        {ChordKind::Sus2, {0, 2, 7}, 20},
        {ChordKind::Sus4, {0, 5, 7}, 20},
        {ChordKind::Min7b5, {0, 3, 6, 10}, 15},
        {ChordKind::Fifth, {0, 7}, 10},
    };
    return table;
}

NoteDetector::NoteDetector()
{
    reset();
    _notes.reserve(16);
}

// Render thread.
void NoteDetector::reset() noexcept
{
    for (auto& flag : onNotes)
        flag.store(false, std::memory_order_relaxed);
}

HeldNotes NoteDetector::getOnNotes() const noexcept
{
    HeldNotes held;
    for (std::size_t i = 0; i < held.size(); ++i)
        held[i] = onNotes[i].load(std::memory_order_relaxed);
    return held;
}

bool NoteDetector::anyNoteHeld() const noexcept
{
    return std::any_of(onNotes.begin(), onNotes.end(),
                       [](const auto& flag) { return flag.load(std::memory_order_relaxed); });
}

ChordInformation NoteDetector::detectChordInformation()
{
    const HeldNotes held = getOnNotes();
    return detectChordInformation(held.data());
}

ChordInformation NoteDetector::detectChordInformation(const bool* held)
{
    ChordInformation result;

    _notes.clear();
    for (int n = 0; n < 128; ++n)
        if (held[n])
            _notes.push_back(n);
    if (_notes.empty())
        return result;

    const int lowest = _notes.front();
    if (_notes.size() == 1) {
        result.root = static_cast<Note>(lowest % 12);
        result.frequency = frequencyOfNote(lowest);
        result.octave = lowest / 12 - 1;
        return result;
    }

    // Try every held pitch class as the root, in ascending order, against the table in table
    // order. The shape must fit exactly: the held set, turned so that the root is at 0, equals
    // the shape's interval set. Distinct rows have distinct sets, so a root fits at most one.
    const PitchClassSet pitchClasses = PitchClassSet::fromNotes(_notes);
    std::array<ChordMatch, 12> matches;
    std::size_t matchCount = 0;
    for (int root : pitchClasses) {
        const PitchClassSet aboveRoot = pitchClasses.transposedDown(root);
        for (const ChordShape& shape : chordShapes()) {
            if (shape.mask == aboveRoot) {
                matches[matchCount++] = {root, shape.type.kind, shape.type.priority};
                break;
            }
        }
    }
    if (matchCount == 0)
        return result;

    // Highest priority wins; among equals the first match, unless one is rooted on the bass.
    const int bass = lowest % 12;
    int best = matches[0].priority;
    for (std::size_t i = 1; i < matchCount; ++i)
        best = std::max(best, matches[i].priority);
    const ChordMatch* chosen = nullptr;
    for (std::size_t i = 0; i < matchCount; ++i) {
        if (matches[i].priority != best)
            continue;
        if (chosen == nullptr)
            chosen = &matches[i];
        if (matches[i].root == bass) {
            chosen = &matches[i];
            break;
        }
    }

    int root = chosen->root;
    ChordKind kind = chosen->kind;
    // A minor seventh with its third in the bass reads as a major sixth on the bass.
    if (kind == ChordKind::Minor7 && bass == (root + 3) % 12) {
        kind = ChordKind::Major6;
        root = bass;
    }

    result.root = static_cast<Note>(root);
    result.kind = kind;
    result.bass = static_cast<Note>(bass);
    result.frequency = frequencyOfNote(lowest);
    result.octave = lowest / 12 - 1;
    return result;
}

void NoteDetector::fillUniqueSortedPitchClasses(const std::vector<int>& notes, std::vector<int>& out)
{
    out.clear();
    for (int pc : PitchClassSet::fromNotes(notes))
        out.push_back(pc);
}

void NoteDetector::fillNormalizedIntervals(const std::vector<int>& pitchClasses, int rootIndex, std::vector<int>& out)
{
    out.clear();
    const int n = static_cast<int>(pitchClasses.size());
    if (n == 0)
        return;
    const int root = pitchClasses[static_cast<std::size_t>(rootIndex)];
    for (int k = 0; k < n; ++k) {
        const int pc = pitchClasses[static_cast<std::size_t>((rootIndex + k) % n)];
        out.push_back(((pc - root) % 12 + 12) % 12);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
}

}  // namespace Corvel
