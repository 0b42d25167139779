#pragma once

#include "NoteDetector.h"

#include <string>
#include <vector>

namespace Corvel {

struct MidiProcessor;

/// What the window shows for the current chord.
struct ChordDescription {
    std::string chord;  ///< for example "C Major 7"; empty when there is no chord
    ChordQuality quality = ChordQuality::other;

    friend bool operator==(const ChordDescription&, const ChordDescription&) = default;
};

/// "C", "C#", … "B"; empty for anything else.
std::string noteName(Note note);
/// The chord table's display name ("Major 7"); empty for None and unknown kinds.
std::string chordKindName(ChordKind kind);
ChordQuality chordQualityForKind(ChordKind kind);
/// "C4", "D#-1"; "None" for a FullNote without a note.
std::string fullNoteName(FullNote note);
/// The root and the scale's name: "C Major (Ionian)", "G Dorian".
std::string scaleDisplayName(const Scale& scale);

/// The chord of the notes a detector holds. Message thread.
ChordDescription describeChord(NoteDetector& detector);

// Message thread: these read the kernel's note detector.
ChordDescription describeCurrentChord(MidiProcessor& kernel);
std::vector<FullNote> heldFullNotes(MidiProcessor& kernel);

}  // namespace Corvel
