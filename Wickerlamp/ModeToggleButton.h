#pragma once

#include "AudioParameter.h"
#include "ModernButtonStyle.h"
#include "ObservationScope.h"

#include <memory>

namespace Wickerlamp {

/// One button of a row that selects an indexed parameter's value (a tab bar): labelled with the
/// value string at `valueIndex` upper-cased (empty when there is none), on while the value
/// truncated toward zero equals `valueIndex` (never for a value that is not finite), and a press
/// writes `valueIndex`. Message thread.
class ModeToggleButton final : public ObservingComponent {
public:
    ModeToggleButton(std::shared_ptr<AudioParameter> param, int valueIndex, juce::Colour textColor,
                     float buttonFontSize = 13.0f);

    ModernButton& button() noexcept { return body; }
    bool isOn() const noexcept { return body.style().isOn; }

    void resized() override;

private:
    void build() override;

    const std::shared_ptr<AudioParameter> param;
    const int valueIndex;
    const juce::Colour buttonTextColor;
    ModernButton body;
};

}  // namespace Wickerlamp
