#pragma once

#include "MidiProcessor.h"
#include "PositionCarrier.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <cstdint>
#include <optional>
#include <vector>

/// Turns one JUCE processBlock into one kernel cycle: the host's position becomes the kernel's
/// musical context and transport state (carried forward between the blocks of hosts that send
/// it only when it changes), and the block's MidiBuffer becomes a list of render events. The
/// host's MidiBuffer is left exactly as it came: the kernel passes every MIDI message on
/// unchanged, so what goes out is what came in.
///
/// Render thread, apart from prepare(). No allocation: events are handed to the kernel in
/// chunks of a fixed size, made room for at construction.
class RenderAdapter final : public Corvel::BlockPositionSource {
public:
    static constexpr std::size_t eventsPerChunk = 4096;

    /// Render resources are being allocated (no render call in progress): the rate positions are
    /// carried at. The last host position is forgotten.
    void prepare(double sampleRate);

    /// Render thread. Runs the kernel over the block. Returns the kernel's status.
    std::int32_t render(Corvel::MidiProcessor& kernel, juce::AudioPlayHead* playHead, int numSamples,
                        const juce::MidiBuffer& midi) noexcept;

private:
    Corvel::PositionCarrier carrier;
    float rate = 44100.0f;
    std::vector<Corvel::RenderEvent> events = std::vector<Corvel::RenderEvent>(eventsPerChunk);
};
