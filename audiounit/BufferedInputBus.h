#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cstdint>

/// The input bus's format and a buffer of its size, allocated with the render resources so
/// that the input behaves as hosts expect. The kernel never touches the audio.
class BufferedInputBus {
public:
    void initialise(double sampleRate, int channelCount, int maximumChannelCount);
    /// Not on the render thread: allocates.
    void allocateRenderResources(std::uint32_t frameCount);

    double sampleRate() const noexcept { return rate; }
    int channelCount() const noexcept { return channels; }
    int maximumChannelCount() const noexcept { return maxChannels; }
    std::uint32_t frameCapacity() const noexcept { return capacity; }
    const juce::AudioBuffer<float>& buffer() const noexcept { return pcm; }

private:
    double rate = 0.0;
    int channels = 0;
    int maxChannels = 0;
    std::uint32_t capacity = 0;
    juce::AudioBuffer<float> pcm;
};
