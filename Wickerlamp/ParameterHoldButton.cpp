#include "ParameterHoldButton.h"

#include <cmath>

namespace Wickerlamp {

ParameterHoldButton::ParameterHoldButton(std::shared_ptr<AudioParameter> parameter,
                                         std::unique_ptr<juce::Drawable> normal, std::unique_ptr<juce::Drawable> held)
    : param(std::move(parameter)), image(std::move(normal)), pressedImage(std::move(held))
{
    if (image != nullptr) {
        const auto natural = image->getDrawableBounds();
        setSize(static_cast<int>(std::ceil(natural.getWidth())), static_cast<int>(std::ceil(natural.getHeight())));
    }
    rebuild();
}

void ParameterHoldButton::build() { pressed = param->value.get() == 1.0f; }

void ParameterHoldButton::draw(juce::Graphics& g)
{
    if (const auto* shown = pressed ? pressedImage.get() : image.get())
        shown->drawWithin(g, getLocalBounds().toFloat(), juce::RectanglePlacement::centred, 1.0f);
}

void ParameterHoldButton::hold()
{
    pressed = true;
    param->setValue(1.0f, ParameterEditor::ui, ParameterEditorState::change);
    repaint();
}

void ParameterHoldButton::mouseDown(const juce::MouseEvent&) { hold(); }

void ParameterHoldButton::mouseDrag(const juce::MouseEvent&) { hold(); }

void ParameterHoldButton::mouseUp(const juce::MouseEvent&)
{
    pressed = false;
    param->setValue(0.0f, ParameterEditor::ui, ParameterEditorState::change);
    repaint();
}

}  // namespace Wickerlamp
