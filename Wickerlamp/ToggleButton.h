#pragma once

#include "AudioParameter.h"
#include "ModernButtonStyle.h"
#include "ObservationScope.h"

#include <memory>
#include <optional>

namespace Wickerlamp {

/// An on/off button bound to a parameter: on when the value is exactly 1, and a press writes 1
/// when the value is exactly 0 and 0 otherwise. Labelled with `nameOverride` as given, or the
/// parameter's name upper-cased, in "Rocket". Message thread.
class ToggleButton final : public ObservingComponent {
public:
    ToggleButton(std::shared_ptr<AudioParameter> param, juce::Colour buttonTextColor,
                 std::optional<juce::String> nameOverride = std::nullopt, float buttonFontSize = 13.0f);

    ModernButton& button() noexcept { return body; }
    bool isOn() const noexcept { return body.style().isOn; }

    void resized() override;

private:
    void build() override;
    void toggle();

    const std::shared_ptr<AudioParameter> param;
    const juce::Colour buttonTextColor;
    ModernButton body;
};

}  // namespace Wickerlamp
