#include "ModernButtonStyle.h"

#include "AssetCatalogue.h"

#include <cmath>

namespace Wickerlamp {

juce::String ModernButtonStyle::backgroundName(bool pressed) const
{
    return juce::String("modern-button") + (isOn ? "-on" : "") + (pressed ? "-down" : "");
}

juce::Colour ModernButtonStyle::labelColour() const
{
    return isOn ? color : AssetCatalogue::library().colour("buttonText");
}

void ModernButtonStyle::draw(juce::Graphics& g, juce::Rectangle<float> area, const juce::Drawable* background,
                             const juce::String& label, const juce::Font& font) const
{
    if (background != nullptr)
        background->drawWithin(g, area.withSizeKeepingCentre(area.getWidth(), backgroundHeight),
                               juce::RectanglePlacement::centred, 1.0f);
    g.setColour(labelColour());
    g.setFont(font);
    g.drawText(label, area.translated(0.0f, labelOffset), juce::Justification::centred, false);
}

ModernButton::ModernButton() : juce::Button({})
{
    setWantsKeyboardFocus(false);  // a click leaves the keyboard where it was
    for (const bool on : {false, true})
        for (const bool pressed : {false, true})
            backgrounds[on][pressed] = AssetCatalogue::library().image(
                ModernButtonStyle{on, {}}.backgroundName(pressed));
}

void ModernButton::setStyle(ModernButtonStyle newStyle)
{
    if (newStyle.isOn == look.isOn && newStyle.color == look.color)
        return;
    look = newStyle;
    repaint();
}

void ModernButton::setFont(juce::Font newFont)
{
    labelFont = std::move(newFont);
    repaint();
}

int ModernButton::idealWidth() const
{
    float imageWidth = 0.0f;
    if (const auto& image = backgrounds[0][0]; image != nullptr) {
        const auto natural = image->getDrawableBounds();
        if (natural.getHeight() > 0.0f)
            imageWidth = natural.getWidth() * ModernButtonStyle::backgroundHeight / natural.getHeight();
    }
    return static_cast<int>(std::ceil(std::max(imageWidth, labelFont.getStringWidthFloat(getButtonText()))));
}

void ModernButton::paintButton(juce::Graphics& g, bool, bool isButtonDown)
{
    look.draw(g, getLocalBounds().toFloat(), backgrounds[look.isOn][isButtonDown].get(), getButtonText(), labelFont);
}

}  // namespace Wickerlamp
