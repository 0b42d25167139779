#pragma once

#include "AudioParameter.h"
#include "ObservationScope.h"

#include <memory>

namespace Wickerlamp {

/// A momentary button drawn from two images. While the pointer is down on it, every press and
/// every move writes 1; letting go writes 0 once. The pressed image shows while the button is
/// held, and follows the value (pressed exactly when it is 1) whenever the value changes, so
/// automation moves it too. Message thread.
class ParameterHoldButton final : public ObservingComponent {
public:
    ParameterHoldButton(std::shared_ptr<AudioParameter> param, std::unique_ptr<juce::Drawable> image,
                        std::unique_ptr<juce::Drawable> pressedImage);

    bool isPressed() const noexcept { return pressed; }

    void mouseDown(const juce::MouseEvent&) override;
    void mouseDrag(const juce::MouseEvent&) override;
    void mouseUp(const juce::MouseEvent&) override;

private:
    void build() override;
    void draw(juce::Graphics& g) override;
    void hold();

    const std::shared_ptr<AudioParameter> param;
    const std::unique_ptr<juce::Drawable> image;
    const std::unique_ptr<juce::Drawable> pressedImage;
    bool pressed = false;
};

}  // namespace Wickerlamp
