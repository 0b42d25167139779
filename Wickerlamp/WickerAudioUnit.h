#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <cstdint>

namespace Wickerlamp {

/// What an audio unit (a JUCE processor) offers its parameter set: a hook that receives
/// parameter values. A processor without render-side parameters implements it as a no-op.
class WickerAudioUnit : public juce::AudioProcessor {
public:
    using juce::AudioProcessor::AudioProcessor;
    using juce::AudioProcessor::setParameter;  // JUCE's own, by index; ours is by address

    virtual void setParameter(std::uint64_t address, float value) = 0;

private:
    JUCE_DECLARE_WEAK_REFERENCEABLE(WickerAudioUnit)
};

}  // namespace Wickerlamp
