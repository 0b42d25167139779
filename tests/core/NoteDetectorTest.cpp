#include "ChordDescription.h"
#include "KernelHarness.h"
#include "NoteDetector.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
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
using SondrelTest::describe;

namespace {

/// Equal temperament at A4 = 440 Hz, in single precision.
float frequencyOf(int note) { return exp2f((static_cast<float>(note) + -69.0f) / 12.0f) * 440.0f; }

} // namespace

TEST(ChordPresentation, QualitiesOfKindsAndOfUnknownOnes)
{
    using enum ChordQuality;
    const std::pair<ChordKind, ChordQuality> rows[] = {{ChordKind::Min7b5, minor}, {ChordKind::Diminished, diminished},
        {ChordKind::Dominant7, dominant}, {ChordKind::Thirteenth, other}, {static_cast<ChordKind>(0), other},
        {static_cast<ChordKind>(19), other}, {static_cast<ChordKind>(-1), other}};
    for (const auto& [kind, quality] : rows)
        EXPECT_EQ(Corvel::chordQualityForKind(kind), quality) << static_cast<int>(kind);
    EXPECT_EQ(Corvel::chordKindName(static_cast<ChordKind>(19)), "");
}

namespace {

/// Plays messages into the kernel of a rig with a running transport.
void play(SondrelTest::Rig& rig, std::vector<std::vector<std::uint8_t>> messages)
{
    std::vector<Corvel::RenderEvent> events;
    std::int64_t t = 1000;
    for (const auto& m : messages)
        events.push_back(Corvel::RenderEvent::midi(t++, m.data(), static_cast<std::uint16_t>(m.size())));
    ASSERT_EQ(rig.run(1000, events), Corvel::noErr);
}

} // namespace

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

// ---------------------------------------------------------------------------------------------
// Property: the detector agrees with a plain rendering of the chord-naming rules.

namespace {

struct ReferenceShape { ChordKind kind; std::set<int> intervals; int priority; };

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

/// Every held pitch class is tried as the root (ascending) against every shape; the highest
/// priority wins, the first such match unless one is on the bass; then the minor-seventh rule.
ChordInformation referenceChord(const HeldNotes& held)
{
    std::vector<int> notes;
    std::set<int> pitchClasses;
    for (int n = 0; n < 128; ++n)
        if (held[static_cast<std::size_t>(n)]) {
            notes.push_back(n);
            pitchClasses.insert(n % 12);
        }
    if (notes.empty())
        return {};
    const int bass = notes[0] % 12;
    ChordInformation result{static_cast<Note>(bass), ChordKind::None, Note::None, frequencyOf(notes[0]),
                            notes[0] / 12 - 1};
    if (notes.size() == 1)
        return result;

    const ReferenceShape* best = nullptr;
    int bestRoot = -1;
    for (int root : pitchClasses) {
        std::set<int> intervals;
        for (int pc : pitchClasses)
            intervals.insert((pc - root + 12) % 12);
        for (const ReferenceShape& shape : referenceShapes()) {
            if (shape.intervals != intervals)
                continue;
            if (best == nullptr || shape.priority > best->priority
                || (shape.priority == best->priority && root == bass && bestRoot != bass)) {
                best = &shape;
                bestRoot = root;
            }
        }
    }
    if (best == nullptr)
        return {};
    result.kind = best->kind;
    result.root = static_cast<Note>(bestRoot);
    result.bass = static_cast<Note>(bass);
    if (best->kind == ChordKind::Minor7 && bass == (bestRoot + 3) % 12) {
        result.kind = ChordKind::Major6;
        result.root = static_cast<Note>(bass);
    }
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
            if (style == 3 && coin(random) == 0)
                for (int n = pitchClass(random); n < 128; n += 12)
                    held[static_cast<std::size_t>(n)] = false;
        }
        const ChordInformation expected = referenceChord(held);
        chordsFound += expected.kind != ChordKind::None ? 1 : 0;
        ASSERT_EQ(detector.detectChordInformation(held.data()), expected) << describe(held);
    }
    // The sets must exercise chord naming, not only the no-chord path.
    EXPECT_GT(chordsFound, 2000);
}
