#pragma once

#include "HostTransport.h"

#include <juce_audio_processors/juce_audio_processors.h>

/// The play head the app and the capture tool give the audio unit: it tells, for the block
/// being processed, the position set just before.
///
/// Render thread: set() and getPosition() are called by the thread that calls processBlock.
class HostPlayHead final : public juce::AudioPlayHead {
public:
    void set(const HostPosition& p) noexcept { position = p; }

    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setTimeInSamples(position.timeInSamples);
        info.setPpqPosition(position.ppqPosition);
        info.setBpm(position.bpm);
        info.setIsPlaying(position.isPlaying);
        info.setIsRecording(false);
        info.setIsLooping(position.isLooping);
        info.setLoopPoints(LoopPoints{position.loopStartPpq, position.loopEndPpq});
        info.setPpqPositionOfLastBarStart(position.barStartPpq);
        info.setTimeSignature(TimeSignature{position.timeSignatureNumerator, position.timeSignatureDenominator});
        if (position.bpm > 0.0)
            info.setTimeInSeconds(position.ppqPosition * 60.0 / position.bpm);
        return info;
    }

private:
    HostPosition position;
};
