#include "ChordDescription.h"

#include "MidiProcessor.h"

#include <array>

namespace Corvel {

namespace {

struct KindText {
    const char* name;
    ChordQuality quality;
};

// Indexed by ChordKind − 1, in chord-table order.
constexpr std::array<KindText, 18> kindTexts = {{
    {"13th", ChordQuality::other},
    {"11th", ChordQuality::other},
    {"Major 9", ChordQuality::major},
    {"Minor 9", ChordQuality::minor},
    {"9th", ChordQuality::other},
    {"Major 7", ChordQuality::major},
    {"Minor 7", ChordQuality::minor},
    {"Dominant 7", ChordQuality::dominant},
    {"Major 6", ChordQuality::major},
    {"Minor 6", ChordQuality::minor},
    {"Major", ChordQuality::major},
    {"Minor", ChordQuality::minor},
    {"Diminished", ChordQuality::diminished},
    {"Augmented", ChordQuality::augmented},
    {"Sus2", ChordQuality::other},
    {"Sus4", ChordQuality::other},
    {"Min7b5", ChordQuality::minor},
    {"Fifth", ChordQuality::other},
}};

const KindText* textForKind(ChordKind kind)
{
    const auto k = static_cast<std::int32_t>(kind);
    return k >= 1 && k <= 18 ? &kindTexts[static_cast<std::size_t>(k - 1)] : nullptr;
}

}  // namespace

std::string noteName(Note note)
{
    static constexpr std::array<const char*, 12> names = {"C",  "C#", "D",  "D#", "E",  "F",
                                                          "F#", "G",  "G#", "A",  "A#", "B"};
    const auto n = static_cast<std::int32_t>(note);
    return n >= 0 && n < 12 ? names[static_cast<std::size_t>(n)] : "";
}

std::string chordKindName(ChordKind kind)
{
    const KindText* text = textForKind(kind);
    return text != nullptr ? text->name : "";
}

ChordQuality chordQualityForKind(ChordKind kind)
{
    const KindText* text = textForKind(kind);
    return text != nullptr ? text->quality : ChordQuality::other;
}

std::string fullNoteName(FullNote note)
{
    if (note.note == Note::None)
        return "None";
    return noteName(note.note) + std::to_string(note.octave);
}

std::string scaleDisplayName(const Scale& scale) { return noteName(scale.root) + " " + scale.name; }

ChordDescription describeChord(NoteDetector& detector)
{
    const ChordInformation info = detector.detectChordInformation();
    if (info.kind == ChordKind::None)
        return {"", ChordQuality::other};
    return {noteName(info.root) + " " + chordKindName(info.kind), chordQualityForKind(info.kind)};
}

ChordDescription describeCurrentChord(MidiProcessor& kernel) { return describeChord(*kernel.noteDetector); }

std::vector<FullNote> heldFullNotes(MidiProcessor& kernel)
{
    const HeldNotes held = kernel.noteDetector->getOnNotes();
    std::vector<FullNote> notes;
    for (int n = 0; n < 128; ++n)
        if (held[static_cast<std::size_t>(n)])
            notes.push_back({static_cast<Note>(n % 12), n / 12 - 1});
    return notes;
}

}  // namespace Corvel
