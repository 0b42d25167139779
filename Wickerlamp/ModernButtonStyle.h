#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>

namespace Wickerlamp {

/// The look the library's toggles share: one of the four "modern-button" backgrounds, 27 points
/// high with its aspect kept, under the label, which sits 2 points low and is drawn in `color`
/// when the button is on and in the "buttonText" colour otherwise.
struct ModernButtonStyle {
    bool isOn = false;
    juce::Colour color;

    static constexpr float backgroundHeight = 27.0f;
    static constexpr float labelOffset = 2.0f;

    /// "modern-button", "modern-button-on", "modern-button-down" or "modern-button-on-down".
    juce::String backgroundName(bool pressed) const;
    juce::Colour labelColour() const;

    /// Draws `background` (the image named by backgroundName) and the label centred in `area`.
    void draw(juce::Graphics& g, juce::Rectangle<float> area, const juce::Drawable* background,
              const juce::String& label, const juce::Font& font) const;
};

/// A button drawn with a ModernButtonStyle, its label in the given font. Message thread.
class ModernButton final : public juce::Button {
public:
    ModernButton();

    void setStyle(ModernButtonStyle newStyle);
    const ModernButtonStyle& style() const noexcept { return look; }
    void setFont(juce::Font newFont);
    const juce::Font& font() const noexcept { return labelFont; }

    /// Wide enough for the background at its height and for the label.
    int idealWidth() const;
    static constexpr int idealHeight = static_cast<int>(ModernButtonStyle::backgroundHeight);

    void paintButton(juce::Graphics& g, bool isMouseOver, bool isButtonDown) override;

private:
    ModernButtonStyle look;
    juce::Font labelFont;
    // The four backgrounds, [on][pressed], fetched once.
    std::array<std::array<std::unique_ptr<juce::Drawable>, 2>, 2> backgrounds;
};

}  // namespace Wickerlamp
