#include "KeyboardStrip.h"

#include "LiveViewModel.h"
#include "NotesDownPianoView.h"

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

}  // namespace

KeyboardStrip::KeyboardStrip(LiveViewModel& model) : live(model)
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
        const auto image = *NotesDownPianoView::keyImage(static_cast<Corvel::Note>(pitchClass), PianoColor::yellow);
        if (const int key = whiteIndexOf[pitchClass]; key >= 0) {
            const int whiteIndex = key + 7 * (note / 12) - 14;
            if (whiteIndex <= lastWhiteIndex)
                lit.push_back({image, whiteIndex * whiteKeyWidth, 0});
        } else {
            const int octave = note / 12 - 2;
            const int black = blackIndexOf[pitchClass];
            if (black + 5 * octave <= lastBlackIndex)
                lit.push_back({image, octaveWidth * octave + blackOffsets[black], 1});
        }
    }
    return lit;
}

void KeyboardStrip::build() { keys = litKeys(live.onNotes.get()); }

void KeyboardStrip::draw(juce::Graphics& g) { drawKeyboard(g, "keyboard-allkeys", keys); }
