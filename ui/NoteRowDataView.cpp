#include "NoteRowDataView.h"

#include "Assets.h"
#include "InterFont.h"
#include "RocketFont.h"

NoteRowDataView::NoteRowDataView(juce::String headingText, std::optional<juce::String> main,
                                 std::optional<juce::String> secondary, juce::Colour colour)
    : heading(std::move(headingText)), mainData(std::move(main)), secondaryData(std::move(secondary)),
      headingColor(colour)
{
    setInterceptsMouseClicks(false, false);
}

void NoteRowDataView::paint(juce::Graphics& g)
{
    constexpr float barWidth = 8.0f;
    constexpr float spacing = 8.0f;
    g.setColour(headingColor);
    g.fillRoundedRectangle(0.0f, 0.0f, barWidth, static_cast<float>(getHeight()), 2.0f);

    // Texts from the top: heading, main line, secondary line, 2 points apart.
    const auto& assets = pluginAssets();
    auto area = getLocalBounds()
                    .toFloat()
                    .withTrimmedLeft(barWidth + spacing + 7.0f)
                    .withTrimmedRight(7.0f)
                    .withTrimmedTop(13.0f);
    const auto line = [&](const juce::String& text, const juce::Font& font, juce::Colour colour) {
        const auto row = area.removeFromTop(font.getHeight());
        g.setFont(font);
        g.setColour(colour);
        g.drawFittedText(text, row.toNearestInt(), juce::Justification::centredLeft, 1, 0.8f);
        area.removeFromTop(2.0f);
    };
    line(heading, Wickerlamp::rocketFont(16.0f), headingColor);
    if (mainData)
        line(*mainData, interFont(22.0f, FontWeight::medium), assets.colour("values"));
    if (secondaryData)
        line(*secondaryData, interFont(16.0f, FontWeight::medium), assets.colour("info"));
}
