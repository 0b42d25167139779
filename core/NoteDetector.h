#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace Corvel {

/// A pitch class; sharps only. None marks the absence of a note.
enum class Note : std::int32_t { None = -1, C, CSharp, D, DSharp, E, F, FSharp, G, GSharp, A, ASharp, B };

/// A held note as shown to the user: MIDI note 60 is C4.
struct FullNote {
    Note note = Note::None;
    std::int32_t octave = 0;

    friend bool operator==(const FullNote&, const FullNote&) = default;
};

enum class ChordKind : std::int32_t {
    None = 0,
    Thirteenth,
    Eleventh,
    Major9,
    Minor9,
    Ninth,
    Major7,
    Minor7,
    Dominant7,
    Major6,
    Minor6,
    Major,
    Minor,
    Diminished,
    Augmented,
    Sus2,
    Sus4,
    Min7b5,
    Fifth,
};

/// Colour class of a chord.
enum class ChordQuality : std::int32_t { major, minor, diminished, dominant, augmented, other };

struct ChordType {
    ChordKind kind;
    std::vector<std::int32_t> intervals;  ///< semitones above the root, ascending, starting at 0
    std::int32_t priority;                ///< higher wins
};

struct ChordMatch {
    std::int32_t root;
    ChordKind kind;
    std::int32_t priority;
};

struct ChordInformation {
    Note root = Note::None;
    ChordKind kind = ChordKind::None;
    Note bass = Note::None;
    float frequency = 0.0f;   ///< Hz of the lowest held note
    std::int32_t octave = 0;  ///< octave of the lowest held note

    friend bool operator==(const ChordInformation&, const ChordInformation&) = default;
};

enum class ScaleType : std::int32_t { scale, mode };

struct ScaleDefinition {
    std::string name;
    std::vector<std::int32_t> intervals;
    ScaleType type;
    std::int32_t rank;  ///< lower ranks sort first
};

struct Scale {
    std::string name;
    ScaleType type = ScaleType::scale;
    Note root = Note::None;
    std::int32_t noteCount = 0;          ///< notes in the scale
    std::int32_t matchingNoteCount = 0;  ///< distinct held pitch classes, all inside the scale
    std::vector<Note> matchingNotes;     ///< the held pitch classes, ascending
    std::vector<Note> allNotes;          ///< the scale from its root, wrapping past B

    friend bool operator==(const Scale&, const Scale&) = default;
};

using HeldNotes = std::array<bool, 128>;

/// Knows which MIDI notes are held and names the chord and the scales they fit.
///
/// The held-note flags are written by the render thread (handleNoteOn, handleNoteOff, reset;
/// constant time, no allocation) and read by the message thread (getOnNotes and the analyses)
/// with relaxed atomics. The analyses and their scratch storage belong to the message thread.
class NoteDetector {
public:
    NoteDetector();

    // Render thread.
    void handleNoteOn(std::uint8_t note, std::uint8_t velocity) noexcept
    {
        if (note < 128)
            onNotes[note].store(velocity != 0, std::memory_order_relaxed);
    }
    void handleNoteOff(std::uint8_t note) noexcept
    {
        if (note < 128)
            onNotes[note].store(false, std::memory_order_relaxed);
    }
    void reset() noexcept;
    /// Follows one MIDI message, whatever its channel: note-ons hold, note-offs (and note-ons
    /// of velocity 0) release, All Notes Off releases everything. Missing data bytes count 0.
    void handleMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) noexcept
    {
        switch (status & 0xF0) {
        case 0x90:
            if (data2 != 0) {
                handleNoteOn(data1, data2);
                break;
            }
            [[fallthrough]];
        case 0x80: handleNoteOff(data1); break;
        case 0xB0:
            if (data1 == 123)  // All Notes Off
                reset();
            break;
        default: break;
        }
    }

    // Any thread.
    HeldNotes getOnNotes() const noexcept;
    bool anyNoteHeld() const noexcept;

    // Message thread.
    ChordInformation detectChordInformation();
    ChordInformation detectChordInformation(const bool* held);
    std::vector<Scale> guessScale() const;
    static std::vector<Scale> guessScale(const bool* held);

    static void fillUniqueSortedPitchClasses(const std::vector<int>& notes, std::vector<int>& out);
    static void fillNormalizedIntervals(const std::vector<int>& pitchClasses, int rootIndex, std::vector<int>& out);

    /// The 18 chord shapes and the 27 scales and modes, in table order.
    static const std::vector<ChordType>& chordTypes();
    static const std::vector<ScaleDefinition>& scaleDefinitions();

private:
    std::array<std::atomic<bool>, 128> onNotes;
    std::vector<int> _notes;  ///< scratch: held note numbers, ascending
};

}  // namespace Corvel
