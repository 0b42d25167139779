#include "NotesDownPianoView.h"

#include "Assets.h"

#include <array>

namespace {

struct KeyShape {
    const char* suffix;
    int x;
    int depth;
};

constexpr std::array<KeyShape, 12> shapes = {{
    {"cf", 4, 0},
    {"blackkeys", 15, 1},
    {"dga", 21, 0},
    {"blackkeys", 32, 1},
    {"eb", 38, 0},
    {"cf", 55, 0},
    {"blackkeys", 66, 1},
    {"dga", 72, 0},
    {"blackkeys", 83, 1},
    {"dga", 89, 0},
    {"blackkeys", 100, 1},
    {"eb", 106, 0},
}};

const char* colourName(PianoColor color)
{
    switch (color) {
    case PianoColor::blue: return "blue";
    case PianoColor::green: return "green";
    case PianoColor::red: return "red";
    case PianoColor::yellow: break;
    }
    return "yellow";
}

std::optional<int> pitchClassOf(Corvel::Note note)
{
    const int value = static_cast<int>(note);
    if (value < 0 || value > 11)
        return std::nullopt;
    return value;
}

}  // namespace

NotesDownPianoView::NotesDownPianoView(std::optional<std::vector<Corvel::Note>> notes, PianoColor color)
{
    if (notes)
        keys = litKeys(*notes, color);
    setInterceptsMouseClicks(false, false);
    if (auto octave = pluginAssets().image("keyboard-octave"))
        setSize(juce::roundToInt(octave->getDrawableBounds().getWidth()),
                juce::roundToInt(octave->getDrawableBounds().getHeight()));
}

std::optional<juce::String> NotesDownPianoView::keyImage(Corvel::Note note, PianoColor color)
{
    const auto pitchClass = pitchClassOf(note);
    if (!pitchClass)
        return std::nullopt;
    return juce::String("keyboard-") + colourName(color) + "-" + shapes[static_cast<std::size_t>(*pitchClass)].suffix;
}

std::vector<LitKey> NotesDownPianoView::litKeys(const std::vector<Corvel::Note>& notes, PianoColor color)
{
    std::array<bool, 12> lit{};
    for (const auto note : notes)
        if (const auto pitchClass = pitchClassOf(note))
            lit[static_cast<std::size_t>(*pitchClass)] = true;
    std::vector<LitKey> keys;
    for (std::size_t pc = 0; pc < lit.size(); ++pc)
        if (lit[pc])
            keys.push_back({*keyImage(static_cast<Corvel::Note>(pc), color), shapes[pc].x, shapes[pc].depth});
    return keys;
}

void NotesDownPianoView::paint(juce::Graphics& g) { drawKeyboard(g, "keyboard-octave", keys); }
