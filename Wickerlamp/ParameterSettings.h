#pragma once

#include "AudioParameter.h"
#include "ParameterEditor.h"
#include "WickerAudioUnit.h"

#include <juce_events/juce_events.h>

#include <memory>
#include <vector>

namespace Wickerlamp {

/// The base of a plug-in's parameter set: owns its AudioParameters, builds the host's
/// parameter tree from them and keeps both sides in step.
///
/// Message thread, except setValue, which the tree's value observer calls on whatever thread
/// the host set the value from. The parameter list is fixed before the tree is installed.
class ParameterSettings : private juce::Timer {
public:
    ParameterSettings();
    ~ParameterSettings() override;

    /// The plug-in's version ("Unknown" when the build has none).
    virtual juce::String pluginVersion() const;

    WickerAudioUnit* audioUnit() const { return unit.get(); }
    const std::vector<std::shared_ptr<AudioParameter>>& parameters() const noexcept { return params; }

    void setupParameters(std::vector<std::shared_ptr<AudioParameter>> list);

    /// Builds the audio unit's parameter tree from the parameters and pushes their values to
    /// it. Subclasses that override call this first.
    virtual void configureAudioUnit(WickerAudioUnit& au);

    /// Installs the tree's value observer and text conversions. Once, after configureAudioUnit.
    virtual void setupParameterTreeListeners();

    /// Routes a value to the parameter with that address, then to the audio unit.
    virtual void setValue(float v, std::uint64_t address, ParameterEditor source);

    /// Called after a parameter with dependents changed; the base does nothing.
    virtual void updateDependentValues(std::uint64_t address, float v);

    /// The texts the host shows and parses for a node's values.
    static juce::String stringFromValue(const ParameterNode& node, const float* value);
    static float valueFromString(const juce::String& text);

private:
    void timerCallback() override;

    std::vector<std::shared_ptr<AudioParameter>> params;
    juce::WeakReference<WickerAudioUnit> unit;

    JUCE_DECLARE_WEAK_REFERENCEABLE(ParameterSettings)
};

}  // namespace Wickerlamp
