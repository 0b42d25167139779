#pragma once

#include "NoteDetector.h"
#include "NoteRowDataView.h"
#include "NotesDownPianoView.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class ChordAndScaleViewType { none, chord, scale, mode, notes };

/// One card of the chord-and-scale page: texts on the left, a keyboard on the right. 98 points
/// high, as wide as the page. Message thread.
class NoteDetailRow final : public juce::Component {
public:
    static constexpr int height = 98;

    /// What a card shows, worked out from its kind and the held notes.
    struct Content {
        ChordAndScaleViewType type = ChordAndScaleViewType::none;
        juce::String heading;
        std::optional<juce::String> mainData;
        std::optional<juce::String> secondaryData;
        juce::String headingColour;  ///< asset names
        juce::String outlineColour;
        std::optional<std::vector<Corvel::Note>> keys;  ///< nothing: no keyboard
        PianoColor keyColour = PianoColor::yellow;
        juce::String identifier;  ///< keeps a scale's card when it moves in the list
    };

    static Content describe(ChordAndScaleViewType type, const std::optional<Corvel::Scale>& scale,
                            const std::optional<std::string>& chord, std::optional<Corvel::ChordQuality> chordQuality,
                            const std::vector<Corvel::FullNote>& heldNotes);

    explicit NoteDetailRow(Content content);

    const Content content;
    const NoteRowDataView& texts() const noexcept { return *data; }
    /// Null for a card without a keyboard.
    const NotesDownPianoView* piano() const noexcept { return keyboard.get(); }

    void paint(juce::Graphics& g) override;
    void resized() override;

private:
    std::unique_ptr<NoteRowDataView> data;
    std::unique_ptr<NotesDownPianoView> keyboard;
};
