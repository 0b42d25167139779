#include "NoteDetailRow.h"

#include "Assets.h"
#include "ChordDescription.h"

namespace {

constexpr float cardInset = 8.0f;
constexpr int contentInsetX = 11;
constexpr int contentInsetY = 3;
constexpr int keyboardTrailingInset = 8;

struct QualityColours {
    const char* heading;
    const char* outline;
    PianoColor keys;
};

QualityColours coloursFor(std::optional<Corvel::ChordQuality> quality)
{
    switch (quality.value_or(Corvel::ChordQuality::other)) {
    case Corvel::ChordQuality::major: return {"redText", "redBorder", PianoColor::red};
    case Corvel::ChordQuality::minor: return {"blueText", "blueBorder", PianoColor::blue};
    case Corvel::ChordQuality::diminished: return {"greenText", "greenBorder", PianoColor::green};
    case Corvel::ChordQuality::dominant:
    case Corvel::ChordQuality::augmented:
    case Corvel::ChordQuality::other: break;
    }
    return {"greyText", "greyBorder", PianoColor::yellow};
}

std::vector<Corvel::Note> pitchClassesOf(const std::vector<Corvel::FullNote>& notes)
{
    std::vector<Corvel::Note> classes;
    for (const auto& n : notes)
        classes.push_back(n.note);
    return classes;
}

juce::String scaleIdentifier(const Corvel::Scale& scale)
{
    return juce::String(scale.name) + juce::String(Corvel::noteName(scale.root));
}

}  // namespace

NoteDetailRow::Content NoteDetailRow::describe(ChordAndScaleViewType type, const std::optional<Corvel::Scale>& scale,
                                               const std::optional<std::string>& chord,
                                               std::optional<Corvel::ChordQuality> chordQuality,
                                               const std::vector<Corvel::FullNote>& heldNotes)
{
    Content c;
    c.type = type;
    c.headingColour = "yellowText";
    c.outlineColour = "yellowBorder";
    switch (type) {
    case ChordAndScaleViewType::chord: {
        const auto colours = coloursFor(chordQuality);
        c.heading = "CHORD";
        c.mainData = juce::String(chord.value_or(""));
        c.headingColour = colours.heading;
        c.outlineColour = colours.outline;
        c.keys = pitchClassesOf(heldNotes);
        c.keyColour = colours.keys;
        c.identifier = "chord";
        break;
    }
    case ChordAndScaleViewType::scale:
    case ChordAndScaleViewType::mode:
        c.heading = type == ChordAndScaleViewType::mode ? "MODE" : "SCALE";
        if (scale) {
            c.mainData = juce::String(Corvel::scaleDisplayName(*scale));
            c.secondaryData = juce::String(scale->matchingNoteCount) + " of " + juce::String(scale->noteCount)
                + " notes";
            c.keys = scale->allNotes;
            c.identifier = scaleIdentifier(*scale);
        }
        break;
    case ChordAndScaleViewType::notes: {
        juce::StringArray names;
        for (const auto& n : heldNotes)
            names.add(juce::String(Corvel::fullNoteName(n)));
        c.heading = "NOTES";
        c.mainData = names.joinIntoString(", ");
        c.keys = pitchClassesOf(heldNotes);
        c.identifier = "notes";
        break;
    }
    case ChordAndScaleViewType::none:
        c.heading = "PLAY SOMETHING";
        c.secondaryData = juce::String("Lowest note used as tonic for scales");
        c.identifier = "none";
        break;
    }
    return c;
}

NoteDetailRow::NoteDetailRow(Content shown) : content(std::move(shown))
{
    const auto& assets = pluginAssets();
    data = std::make_unique<NoteRowDataView>(content.heading, content.mainData, content.secondaryData,
                                             assets.colour(content.headingColour));
    addAndMakeVisible(*data);
    if (content.keys) {
        keyboard = std::make_unique<NotesDownPianoView>(content.keys, content.keyColour);
        addAndMakeVisible(*keyboard);
    }
}

void NoteDetailRow::paint(juce::Graphics& g)
{
    const auto& assets = pluginAssets();
    const auto card = getLocalBounds().toFloat().reduced(cardInset, 1.0f);
    g.setColour(assets.colour("eventSummaryBackground"));
    g.fillRoundedRectangle(card, 4.0f);
    g.setColour(assets.colour(content.outlineColour));
    g.drawRoundedRectangle(card, 4.0f, 2.0f);
}

void NoteDetailRow::resized()
{
    auto area = getLocalBounds().reduced(static_cast<int>(cardInset), 0).reduced(contentInsetX, contentInsetY);
    if (keyboard != nullptr) {
        area.removeFromRight(keyboardTrailingInset);
        const auto keys = area.removeFromRight(keyboard->getWidth());
        keyboard->setTopLeftPosition(keys.getX(), keys.getCentreY() - keyboard->getHeight() / 2);
    }
    data->setBounds(area);
}
