#pragma once

#include "RenderEvent.h"

#include <cstdint>
#include <span>

namespace Corvel {

/// What the kernel asks of its host on every render cycle. Implementations are called on the
/// render thread and must not allocate, lock or wait.

/// Transport flag bits.
enum TransportStateFlags : std::uint64_t {
    TransportStateChanged = 1,
    TransportStateMoving = 2,
    TransportStateRecording = 4,
    TransportStateCycling = 8,
};

class MusicalContextSource {
public:
    virtual ~MusicalContextSource() = default;
    /// Tempo in beats per minute and the beat position of the cycle's first sample;
    /// false when the host cannot tell.
    virtual bool musicalContext(double& tempo, double& beatPosition) noexcept = 0;
};

class TransportStateSource {
public:
    virtual ~TransportStateSource() = default;
    /// The transport flags; false when the host cannot tell.
    virtual bool transportState(std::uint64_t& flags) noexcept = 0;
};

class MidiOutput {
public:
    virtual ~MidiOutput() = default;
    virtual void sendMidi(std::int64_t sampleTime, std::uint8_t cable, std::uint16_t length,
                          const std::uint8_t* bytes) noexcept = 0;
    /// A run of MIDI and system-exclusive events, in order. Override to take them in one go.
    virtual void sendMidiEvents(std::span<const RenderEvent> events) noexcept
    {
        for (const RenderEvent& e : events)
            sendMidi(e.sampleTime, e.cable, e.length, e.bytes());
    }
};

}  // namespace Corvel
