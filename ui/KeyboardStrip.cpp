#include "KeyboardStrip.h"

#include "Settings.h"

namespace {

constexpr int firstNote = 24;
constexpr int whiteKeyWidth = 17;
constexpr int lastWhiteIndex = 37;
constexpr int lastBlackIndex = 26;
constexpr int octaveWidth = 119;

// Per pitch class: key-in-octave index of a white key (or -1), offset of a black key (or -1).
constexpr int whiteIndexOf[12] = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};
constexpr int blackIndexOf[12] = {-1, 0, -1, 1, -1, -1, 2, -1, 3, -1, 4, -1};
constexpr int blackOffsets[5] = {11, 28, 62, 79, 96};

const char* whiteShape(int pitchClass)
{
    switch (pitchClass) {
    case 0: case 5: return "keyboard-yellow-cf";
    case 4: case 11: return "keyboard-yellow-eb";
    default: return "keyboard-yellow-dga";
    }
}

} // namespace

KeyboardStrip::KeyboardStrip(Settings& model) : settings(model)
{
    setInterceptsMouseClicks(false, false);
    rebuild();
}

std::vector<LitKey> KeyboardStrip::litKeys(const Corvel::HeldNotes& held)
{
    std::vector<LitKey> lit;
    for (int note = firstNote; note < static_cast<int>(held.size()); ++note) {
        if (!held[static_cast<std::size_t>(note)])
            continue;
        const int pitchClass = note % 12;
        if (const int key = whiteIndexOf[pitchClass]; key >= 0) {
            const int whiteIndex = key + 7 * (note / 12) - 14;
            if (whiteIndex <= lastWhiteIndex)
                lit.push_back({whiteShape(pitchClass), whiteIndex * whiteKeyWidth, 0});
        } else {
            const int octave = note / 12 - 2;
            const int key2 = blackIndexOf[pitchClass];
            if (key2 + 5 * octave <= lastBlackIndex)
                lit.push_back({"keyboard-yellow-blackkeys", octaveWidth * octave + blackOffsets[key2], 1});
        }
    }
    return lit;
}

void KeyboardStrip::build()
{
    keys = litKeys(settings.onNotes.get());
}

void KeyboardStrip::draw(juce::Graphics& g)
{
    drawKeyboard(g, "keyboard-allkeys", keys);
}
