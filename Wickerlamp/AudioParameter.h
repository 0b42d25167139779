#pragma once

#include "Observable.h"
#include "ParameterEditor.h"
#include "ParameterNode.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Wickerlamp {

/// The display suffix of a unit: "%", "Hz", "dB", "MS" or nothing.
juce::String displayableSuffix(std::int32_t units);

/// One plug-in parameter as the window sees it, kept in step with its host node.
///
/// `value` and `isBeingInteractivelyEdited` belong to the message thread; every assignment of
/// `value` caused by setValue happens there, one message-loop turn later (or, for changes that
/// arrive on a host thread, at the owner's next pending-value poll). setValue itself may be
/// called on any thread and never locks or allocates off the message thread.
class AudioParameter {
public:
    AudioParameter(std::uint64_t parameterAddress, juce::String parameterIdentifier, juce::String displayName,
                   std::int32_t unit, float lowerBound, float upperBound, float initialValue,
                   std::optional<juce::StringArray> names = std::nullopt,
                   std::optional<std::vector<std::uint64_t>> dependents = std::nullopt);
    ~AudioParameter();
    AudioParameter(const AudioParameter&) = delete;
    AudioParameter& operator=(const AudioParameter&) = delete;

    /// A placeholder for views that need a parameter before a real one exists.
    static std::shared_ptr<AudioParameter> dummyParam();

    // Fixed description.
    const std::uint64_t address;
    const juce::String identifier;
    const juce::String name;
    const std::int32_t units;
    const float minimum;
    const float maximum;
    const float defaultValue;
    const std::optional<juce::StringArray> valueStrings;
    const std::optional<std::vector<std::uint64_t>> dependentParameterAddresses;

    // Observable state (message thread).
    Observable<float> value;
    Observable<bool> isBeingInteractivelyEdited{false};

    /// The only way a control changes the parameter; also the path of host changes.
    void setValue(float v, ParameterEditor source, ParameterEditorState state);

    /// Applies a host change that arrived off the message thread. Message thread.
    void applyPendingValue();

    /// The host node. Owned by the parameter until a tree takes it (takeNode).
    ParameterNode& auParameter() const noexcept { return *node; }
    std::unique_ptr<ParameterNode> takeNode();
    bool nodeIsInTree() const noexcept { return ownedNode == nullptr; }

    float displayableValue() const noexcept;
    juce::String displayableSuffix() const;
    float displayScaleFactor() const noexcept;
    float saveScaleFactor() const noexcept;
    float percent() const noexcept;

    /// The current value, readable on any thread.
    float currentValue() const noexcept { return mirror.load(std::memory_order_relaxed); }

private:
    float clamp(float v) const noexcept;
    void assign(float c, ParameterEditor source);

    std::unique_ptr<ParameterNode> ownedNode;
    ParameterNode* node;
    std::atomic<float> mirror;
    // The value the latest setValue asked for, which `value` reaches a turn later. Changes are
    // compared with it, so that 1 then 0 within one turn still ends at 0.
    std::atomic<float> requested;
    // A host change from another thread: the value's bits, and whether one is pending.
    std::atomic<std::uint64_t> pending{0};
    std::size_t mirrorToken;

    JUCE_DECLARE_WEAK_REFERENCEABLE(AudioParameter)
};

}  // namespace Wickerlamp
