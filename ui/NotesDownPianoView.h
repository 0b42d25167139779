#pragma once

#include "KeyboardDrawing.h"
#include "NoteDetector.h"

#include <optional>
#include <vector>

enum class PianoColor { blue, green, yellow, red };

/// A one-octave keyboard picture with some pitch classes lit in one colour, drawn at its natural
/// size (the "keyboard-octave" image). Message thread.
class NotesDownPianoView final : public juce::Component {
public:
    NotesDownPianoView(std::optional<std::vector<Corvel::Note>> notes, PianoColor color);

    /// The lit-key image for one pitch class, or nothing for a value outside C..B.
    static std::optional<juce::String> keyImage(Corvel::Note note, PianoColor color);
    /// One lit key per distinct pitch class, in pitch-class order.
    static std::vector<LitKey> litKeys(const std::vector<Corvel::Note>& notes, PianoColor color);

    const std::vector<LitKey>& shownKeys() const noexcept { return keys; }
    void paint(juce::Graphics& g) override;

private:
    std::vector<LitKey> keys;
};
