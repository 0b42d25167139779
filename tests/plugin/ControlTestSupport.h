#pragma once

// Helpers for the library's controls: parameters, what a control told the host, mouse events.

#include "AssetCatalogue.h"
#include "AudioParameter.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <optional>
#include <vector>

namespace SondrelTest {

inline std::shared_ptr<Wickerlamp::AudioParameter> makeParameter(std::int32_t units, float lower, float upper, float value,
                                                                 std::optional<juce::StringArray> names = std::nullopt,
                                                                 juce::String name = "Mix")
{
    return std::make_shared<Wickerlamp::AudioParameter>(1, "p", std::move(name), units, lower, upper, value, std::move(names));
}

/// Every value a control sent to the host through the parameter's node, in the parameter's range.
struct SentToHost final : juce::AudioProcessorParameter::Listener {
    Wickerlamp::ParameterNode& node;
    std::vector<float> values;

    explicit SentToHost(Wickerlamp::AudioParameter& p) : node(p.auParameter()) { node.addListener(this); }
    ~SentToHost() override { node.removeListener(this); }

    void parameterValueChanged(int, float normalised) override { values.push_back(node.denormalise(normalised)); }
    void parameterGestureChanged(int, bool) override {}
};

/// A left-button event on `component` at `at`, as JUCE would deliver it.
inline juce::MouseEvent mouseEventOn(juce::Component& component, juce::Point<float> at = {2.0f, 2.0f},
                                     bool draggedSinceDown = false)
{
    const auto now = juce::Time::getCurrentTime();
    return juce::MouseEvent(juce::Desktop::getInstance().getMainMouseSource(), at,
                            juce::ModifierKeys(juce::ModifierKeys::leftButtonModifier),
                            juce::MouseInputSource::defaultPressure, 0.0f, 0.0f, 0.0f, 0.0f, &component, &component, now,
                            at, now, 1, draggedSinceDown);
}

inline juce::Colour libraryColour(const char* name)
{
    return Wickerlamp::AssetCatalogue::library().colour(name);
}

} // namespace SondrelTest
