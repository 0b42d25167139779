#pragma once

// What the plug-in benchmarks feed it: a play head that is always playing at 120 bpm, and blocks
// of alternating note-ons and note-offs spread over the block.

#include <juce_audio_processors/juce_audio_processors.h>

#include <cstdint>

namespace SondrelBench {

constexpr int blockSize = 512;

struct PlayingHead final : juce::AudioPlayHead {
    std::int64_t time = 0;
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo p;
        p.setTimeInSamples(time);
        p.setPpqPosition(static_cast<double>(time) / 24000.0);
        p.setBpm(120.0);
        p.setIsPlaying(true);
        return p;
    }
};

inline juce::MidiBuffer blockOf(int events)
{
    juce::MidiBuffer midi;
    for (int i = 0; i < events; ++i) {
        const juce::uint8 bytes[3] = {static_cast<juce::uint8>(i % 2 ? 0x80 : 0x90),
                                      static_cast<juce::uint8>(36 + i % 48), 100};
        midi.addEvent(bytes, 3, i * blockSize / events);
    }
    return midi;
}

}  // namespace SondrelBench
