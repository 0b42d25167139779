#include "ParameterNode.h"

#include <cmath>

namespace Wickerlamp {

namespace {
constexpr int parameterIdVersion = 1;
}

ParameterNode::ParameterNode(Description description)
    : juce::AudioProcessorParameterWithID(
        juce::ParameterID(description.identifier, parameterIdVersion), description.name,
        juce::AudioProcessorParameterWithIDAttributes().withLabel(description.unitName)),
      desc(std::move(description))
{}

float ParameterNode::normalise(float v) const noexcept
{
    const float span = desc.maximum - desc.minimum;
    return span > 0.0f ? (v - desc.minimum) / span : 0.0f;
}

float ParameterNode::denormalise(float normalised) const noexcept
{
    return desc.minimum + normalised * (desc.maximum - desc.minimum);
}

void ParameterNode::setValueFromImplementation(float v, ParameterEditorState state)
{
    const float n = normalise(v);
    switch (state) {
    case ParameterEditorState::beginInteractive:
        beginChangeGesture();
        setValueNotifyingHost(n);
        break;
    case ParameterEditorState::endInteractive:
        setValueNotifyingHost(n);
        endChangeGesture();
        break;
    case ParameterEditorState::change: setValueNotifyingHost(n); break;
    }
}

float ParameterNode::getValue() const { return normalise(value()); }

// Host thread (possibly the audio thread).
void ParameterNode::setValue(float normalisedValue)
{
    const float v = denormalise(normalisedValue);
    current.store(v, std::memory_order_relaxed);
    if (implementorValueObserver)
        implementorValueObserver(*this, v);
}

float ParameterNode::getDefaultValue() const { return normalise(desc.defaultValue); }

juce::String ParameterNode::getText(float normalisedValue, int maximumStringLength) const
{
    const float v = denormalise(normalisedValue);
    const juce::String text = implementorStringFromValueCallback ? implementorStringFromValueCallback(*this, &v)
                                                                 : juce::String(v);
    return maximumStringLength > 0 ? text.substring(0, maximumStringLength) : text;
}

float ParameterNode::getValueForText(const juce::String& text) const
{
    const float v = implementorValueFromStringCallback ? implementorValueFromStringCallback(*this, text)
                                                       : text.getFloatValue();
    return juce::jlimit(0.0f, 1.0f, normalise(v));
}

int ParameterNode::getNumSteps() const
{
    return hasValueStrings() ? desc.valueStrings->size() : juce::HostedAudioProcessorParameter::getNumSteps();
}

bool ParameterNode::isDiscrete() const { return hasValueStrings(); }

juce::StringArray ParameterNode::getAllValueStrings() const
{
    return hasValueStrings() ? *desc.valueStrings : juce::StringArray();
}

}  // namespace Wickerlamp
