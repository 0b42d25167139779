#include "UpdateButtonStyle.h"

#include "AssetCatalogue.h"
#include "RocketFont.h"

#include <cmath>

namespace Wickerlamp {

juce::Font UpdateButtonStyle::font() { return rocketFont(fontSize); }

juce::Colour UpdateButtonStyle::textColour() { return AssetCatalogue::library().colour("background"); }

juce::Colour UpdateButtonStyle::fillColour() { return AssetCatalogue::library().colour("updateBackground"); }

juce::Rectangle<int> UpdateButtonStyle::sizeFor(const juce::String& label)
{
    const auto f = font();
    return {static_cast<int>(std::ceil(f.getStringWidthFloat(label))) + 2 * horizontalPadding,
            static_cast<int>(std::ceil(f.getHeight())) + topPadding};
}

void UpdateButtonStyle::draw(juce::Graphics& g, juce::Rectangle<float> area, const juce::String& label, bool pressed)
{
    // One layer, so that the label is not seen through where it covers the fill.
    if (pressed)
        g.beginTransparencyLayer(pressedOpacity);
    g.setColour(fillColour());
    g.fillRoundedRectangle(area, cornerRadius);
    g.setColour(textColour());
    g.setFont(font());
    g.drawText(label,
               area.withTrimmedTop(static_cast<float>(topPadding)).reduced(static_cast<float>(horizontalPadding), 0.0f),
               juce::Justification::centred, false);
    if (pressed)
        g.endTransparencyLayer();
}

}  // namespace Wickerlamp
