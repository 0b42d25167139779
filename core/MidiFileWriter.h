#pragma once

#include "EventList.h"
#include "RecordedMIDIEvent.h"

#include <cstdint>
#include <vector>

namespace Corvel {

/// The Standard MIDI File writer behind MIDIRecorder::convertToMIDIBytes: format 0, one track,
/// 480 ticks per quarter note, events at their beat positions in sample-time order.
/// Main thread (or any non-real-time thread); builds the whole file in memory.
class MidiFileWriter {
public:
    static std::vector<std::uint8_t> write(const std::vector<RecordedMIDIEvent>& events);
    static std::vector<std::uint8_t> write(const EventList& events);
};

} // namespace Corvel
