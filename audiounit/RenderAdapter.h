#pragma once

#include "MidiProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

/// Turns one JUCE processBlock into one kernel cycle: the host's position info becomes the
/// kernel's musical context and transport state, the block's MidiBuffer becomes a list of
/// render events, and what the kernel passes on is written into an output MidiBuffer whose
/// contents then replace the host's. When the kernel cannot run (no position info), the host's MIDI is
/// left as it was.
///
/// Render thread, apart from prepare(). No allocation while a block carries no more MIDI
/// bytes and events than prepare() made room for (the first larger block grows the buffers
/// once and is counted).
class RenderAdapter final : public Corvel::MusicalContextSource,
                            public Corvel::TransportStateSource,
                            public Corvel::MidiOutput {
public:
    static constexpr int eventsPerChunk = 4096;
    static constexpr std::size_t reservedMidiBytes = 64 * 1024;

    /// Render resources are being allocated. Not on the render thread.
    void prepare();

    /// Runs the kernel over the block. Returns the kernel's status.
    std::int32_t render(Corvel::MidiProcessor& kernel, juce::AudioPlayHead* playHead, int numSamples,
                        juce::MidiBuffer& midi) noexcept;

    /// Writes one event in MidiBuffer's own layout (sample offset, size, bytes) at `out` and
    /// returns how many bytes that took. Events written one after the other in time order make
    /// a valid buffer in linear time, where MidiBuffer::addEvent searches for every insert.
    static std::size_t writeMidiBufferEvent(std::uint8_t* out, std::int32_t offset, std::uint16_t length,
                                            const std::uint8_t* bytes) noexcept
    {
        std::memcpy(out, &offset, sizeof offset);
        std::memcpy(out + sizeof offset, &length, sizeof length);
        std::memcpy(out + midiBufferHeaderSize, bytes, length);
        return midiBufferHeaderSize + length;
    }
    static constexpr std::size_t midiBufferHeaderSize = sizeof(std::int32_t) + sizeof(std::uint16_t);

    /// How often a block needed more room than was prepared.
    std::uint32_t bufferGrowths() const noexcept { return growths; }

    // Corvel host callbacks (render thread).
    bool musicalContext(double& tempo, double& beatPosition) noexcept override;
    bool transportState(std::uint64_t& flags) noexcept override;
    void sendMidi(std::int64_t sampleTime, std::uint8_t cable, std::uint16_t length,
                  const std::uint8_t* bytes) noexcept override;
    void sendMidiEvents(std::span<const Corvel::RenderEvent> events) noexcept override;

private:
    std::optional<juce::AudioPlayHead::PositionInfo> position;
    std::vector<Corvel::RenderEvent> events;
    std::vector<std::uint8_t> output;  ///< MidiBuffer layout, copied into the host's buffer
    std::size_t outputSize = 0;
    std::int64_t blockStart = 0;
    std::int64_t runningSampleCount = 0;
    std::uint32_t growths = 0;
};
