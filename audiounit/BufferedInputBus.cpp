#include "BufferedInputBus.h"

void BufferedInputBus::initialise(double sampleRate, int channelCount, int maximumChannelCount)
{
    rate = sampleRate;
    channels = channelCount;
    maxChannels = maximumChannelCount;
    capacity = 0;
    pcm.setSize(0, 0);
}

void BufferedInputBus::allocateRenderResources(std::uint32_t frameCount)
{
    capacity = frameCount;
    pcm.setSize(channels, static_cast<int>(frameCount));
}
