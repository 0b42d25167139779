#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace Wickerlamp {

/// The update notice's look: the label in "Rocket" 13 in the "background" colour, padded 4 points
/// left and right and 2 at the top, on a rounded rectangle (radius 4) filled "updateBackground";
/// the whole at 0.8 opacity while pressed.
struct UpdateButtonStyle {
    static constexpr float fontSize = 13.0f;
    static constexpr float cornerRadius = 4.0f;
    static constexpr int horizontalPadding = 4;
    static constexpr int topPadding = 2;
    static constexpr float pressedOpacity = 0.8f;

    static juce::Font font();
    static juce::Colour textColour();
    static juce::Colour fillColour();
    /// The label's size plus the padding.
    static juce::Rectangle<int> sizeFor(const juce::String& label);

    static void draw(juce::Graphics& g, juce::Rectangle<float> area, const juce::String& label, bool pressed);
};

/// A button drawn with UpdateButtonStyle. Message thread.
class UpdateButton final : public juce::Button {
public:
    UpdateButton() : juce::Button({}) { setWantsKeyboardFocus(false); }

    void paintButton(juce::Graphics& g, bool, bool isButtonDown) override
    {
        UpdateButtonStyle::draw(g, getLocalBounds().toFloat(), getButtonText(), isButtonDown);
    }
};

}  // namespace Wickerlamp
