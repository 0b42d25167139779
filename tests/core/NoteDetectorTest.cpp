#include "ChordDescription.h"
#include "KernelHarness.h"
#include "NoteDetector.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
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
using SondrelTest::heldSet;

namespace Corvel {
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

namespace {

/// Equal temperament at A4 = 440 Hz, in single precision.
float frequencyOf(int note) { return exp2f((static_cast<float>(note) + -69.0f) / 12.0f) * 440.0f; }

ChordInformation chord(Note root, ChordKind kind, Note bass, int lowestNote)
{
    return {root, kind, bass, frequencyOf(lowestNote), lowestNote / 12 - 1};
}

} // namespace

TEST(NoteDetector, NamesTheChordOfEachHeldSet)
{
    using enum Note;
    using K = ChordKind;
    // Hand-checked anchors for the reference rules the property test below draws on.
    const struct { std::vector<int> notes; ChordInformation expected; } cases[] = {
        {{}, {}}, {{69}, {A, K::None, None, 440.0f, 4}}, {{0}, chord(C, K::None, None, 0)},
        {{36, 48, 60, 72, 84}, {}}, {{64, 67, 72}, chord(C, K::Major, E, 64)},
        {{66, 69, 72, 76}, chord(A, K::Minor6, FSharp, 66)}, {{64, 67, 69, 72}, chord(A, K::Minor7, E, 64)},
        {{60, 64, 67, 69}, chord(C, K::Major6, C, 60)}, {{64, 68, 72}, chord(E, K::Augmented, E, 64)},
        {{60, 64, 67, 70, 73}, {}},
    };
    NoteDetector detector;  // one detector throughout: nothing may carry over between analyses
    for (const auto& c : cases) {
        const HeldNotes held = heldSet(c.notes);
        EXPECT_EQ(detector.detectChordInformation(held.data()), c.expected) << describe(held);
    }
}

TEST(ChordPresentation, KindNamesAndQualities)
{
    using enum ChordQuality;
    const struct { ChordKind kind; const char* name; ChordQuality quality; } rows[] = {
        {ChordKind::Thirteenth, "13th", other}, {ChordKind::Major9, "Major 9", major},
        {ChordKind::Minor7, "Minor 7", minor},  {ChordKind::Dominant7, "Dominant 7", dominant},
        {ChordKind::Diminished, "Diminished", diminished}, {ChordKind::Augmented, "Augmented", augmented},
        {ChordKind::Min7b5, "Min7b5", minor},   {ChordKind::Fifth, "Fifth", other},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Corvel::chordKindName(row.kind), row.name);
        EXPECT_EQ(Corvel::chordQualityForKind(row.kind), row.quality) << row.name;
    }
    for (int bad : {0, 19, -1, 1000}) {
        EXPECT_EQ(Corvel::chordKindName(static_cast<ChordKind>(bad)), "") << bad;
        EXPECT_EQ(Corvel::chordQualityForKind(static_cast<ChordKind>(bad)), other) << bad;
    }
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
