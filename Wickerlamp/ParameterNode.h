#pragma once

#include "ParameterEditor.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace Wickerlamp {

/// Host parameter flag bits.
namespace ParameterFlags {
inline constexpr std::uint32_t readable = 0x40000000;
inline constexpr std::uint32_t writable = 0x80000000;
inline constexpr std::uint32_t globalMeta = 0x10000000;
inline constexpr std::uint32_t hasClump = 0x00100000;
inline constexpr std::uint32_t valuesHaveStrings = 0x00200000;
inline constexpr std::uint32_t canRamp = 0x02000000;
}  // namespace ParameterFlags

/// Host parameter unit codes used by the library.
namespace ParameterUnit {
inline constexpr std::int32_t generic = 0;
inline constexpr std::int32_t indexed = 1;
inline constexpr std::int32_t percent = 3;
inline constexpr std::int32_t hertz = 8;
inline constexpr std::int32_t decibels = 13;
inline constexpr std::int32_t linearGain = 14;
inline constexpr std::int32_t absoluteCents = 20;
inline constexpr std::int32_t milliseconds = 24;
inline constexpr std::int32_t customUnit = 26;
}  // namespace ParameterUnit

/// One node of the host's parameter tree: the host's copy of a parameter, as a JUCE host
/// parameter (its parameter ID is the identifier). Values are kept in the parameter's own range and normalised only where JUCE
/// asks for 0…1.
///
/// Threads: the host calls setValue and the text conversions on any thread (automation often
/// arrives on the audio thread); the callbacks are installed once, before the host uses the
/// node, and must be real-time safe when the host calls from its audio thread.
class ParameterNode final : public juce::AudioProcessorParameterWithID {
public:
    struct Description {
        std::uint64_t address = 0;
        juce::String identifier;
        juce::String name;
        std::int32_t units = ParameterUnit::generic;
        float minimum = 0.0f;
        float maximum = 1.0f;
        float defaultValue = 0.0f;
        juce::String unitName;
        std::uint32_t flags = 0;
        std::optional<juce::StringArray> valueStrings;
        std::optional<std::vector<std::uint64_t>> dependentParameters;
    };

    explicit ParameterNode(Description description);

    const Description& description() const noexcept { return desc; }
    std::uint64_t address() const noexcept { return desc.address; }

    /// The host's copy of the value, in the parameter's range.
    float value() const noexcept { return current.load(std::memory_order_relaxed); }

    /// Sets the value without telling anyone (used once, before the tree exists).
    void setValueQuietly(float v) noexcept { current.store(v, std::memory_order_relaxed); }

    /// The implementation changes the value and informs the host, with the gesture phase as
    /// the automation event type. Like a value set from outside, it also reaches the value
    /// observer. Message thread.
    void setValueFromImplementation(float v, ParameterEditorState state);

    // Tree callbacks (see ParameterSettings::setupParameterTreeListeners).
    std::function<void(ParameterNode&, float)> implementorValueObserver;
    std::function<juce::String(const ParameterNode&, const float*)> implementorStringFromValueCallback;
    std::function<float(const ParameterNode&, const juce::String&)> implementorValueFromStringCallback;

    float normalise(float v) const noexcept;
    float denormalise(float normalised) const noexcept;

    // juce::AudioProcessorParameterWithID
    float getValue() const override;
    void setValue(float normalisedValue) override;
    float getDefaultValue() const override;
    juce::String getText(float normalisedValue, int maximumStringLength) const override;
    float getValueForText(const juce::String& text) const override;
    int getNumSteps() const override;
    bool isDiscrete() const override;
    juce::StringArray getAllValueStrings() const override;

private:
    bool hasValueStrings() const noexcept { return desc.valueStrings && !desc.valueStrings->isEmpty(); }

    const Description desc;
    std::atomic<float> current{0.0f};
};

}  // namespace Wickerlamp
