#include "ModeToggleButton.h"

#include "Extensions.h"
#include "RocketFont.h"

#include <cmath>

namespace Wickerlamp {

ModeToggleButton::ModeToggleButton(std::shared_ptr<AudioParameter> parameter, int index, juce::Colour textColour,
                                   float buttonFontSize)
    : param(std::move(parameter)), valueIndex(index), buttonTextColor(textColour)
{
    juce::String label;
    if (param->valueStrings)
        label = safeAt(*param->valueStrings, valueIndex).value_or(juce::String()).toUpperCase();
    body.setButtonText(label);
    body.setFont(rocketFont(buttonFontSize));
    body.onClick = [this] {
        param->setValue(static_cast<float>(valueIndex), ParameterEditor::ui, ParameterEditorState::change);
    };
    addAndMakeVisible(body);
    setSize(body.idealWidth(), ModernButton::idealHeight);
    rebuild();
}

void ModeToggleButton::build()
{
    // Compared as doubles: no cast of a huge or infinite value to int.
    const bool on = std::trunc(static_cast<double>(param->value.get())) == static_cast<double>(valueIndex);
    body.setStyle({on, buttonTextColor});
    body.setToggleState(on, juce::dontSendNotification);
}

void ModeToggleButton::resized() { body.setBounds(getLocalBounds()); }

}  // namespace Wickerlamp
