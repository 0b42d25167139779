#pragma once

#include "MidiBytes.h"

#include <cstdint>

namespace Corvel {

/// One captured MIDI message. A value: copying it copies its bytes.
struct RecordedMIDIEvent {
    MidiBytes data;               ///< the message exactly as received, status byte first
    std::int64_t sampleTime = 0;  ///< the host's sample time of the event
    double bpm = 0.0;             ///< host tempo when the event was captured
    double beatPosition = 0.0;    ///< position on the host's timeline, in quarter-note beats

    friend bool operator==(const RecordedMIDIEvent&, const RecordedMIDIEvent&) = default;
};

static_assert(sizeof(RecordedMIDIEvent) == 32);

}  // namespace Corvel
