#include "ToggleButton.h"

#include "RocketFont.h"

namespace Wickerlamp {

ToggleButton::ToggleButton(std::shared_ptr<AudioParameter> parameter, juce::Colour textColour,
                           std::optional<juce::String> nameOverride, float buttonFontSize)
    : param(std::move(parameter)), buttonTextColor(textColour)
{
    body.setButtonText(nameOverride.value_or(param->name.toUpperCase()));
    body.setFont(rocketFont(buttonFontSize));
    body.onClick = [this] { toggle(); };
    addAndMakeVisible(body);
    setSize(body.idealWidth(), ModernButton::idealHeight);
    rebuild();
}

void ToggleButton::build()
{
    const bool on = param->value.get() == 1.0f;
    body.setStyle({on, buttonTextColor});
    body.setToggleState(on, juce::dontSendNotification);
}

void ToggleButton::toggle()
{
    const float next = param->value.peek() == 0.0f ? 1.0f : 0.0f;
    param->setValue(next, ParameterEditor::ui, ParameterEditorState::change);
}

void ToggleButton::resized() { body.setBounds(getLocalBounds()); }

}  // namespace Wickerlamp
