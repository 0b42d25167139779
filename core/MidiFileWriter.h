#pragma once

#include "EventList.h"
#include "RecordedMIDIEvent.h"

#include <cstdint>
#include <vector>

namespace Corvel {

/// What a written file holds besides the events.
struct MidiFileOptions {
    /// A 4/4 time signature and the take's tempo (from the events' `bpm`) at tick 0, and a tempo
    /// event at the tick of every event where the tempo changes, so that players keep the speed.
    bool withTempo = false;
};

/// Beats of `bpm` from `firstBeatSampleTime` on, at `sampleRate` (a detected tempo).
struct BeatGrid {
    double bpm = 0.0;
    std::int64_t firstBeatSampleTime = 0;
    float sampleRate = 0.0f;
};

/// The Standard MIDI File writer behind MIDIRecorder::convertToMIDIBytes: format 0, one track,
/// 480 ticks per quarter note, events at their beat positions (or on a beat grid) in sample-time
/// order.
///
/// Only complete channel messages (status 80-EF with exactly their data bytes) have a place in
/// a track; they are written byte for byte. Anything else a recording may hold (system common
/// and real-time bytes, a lone F7, a message without a status or without bytes) is left out of
/// the file, so that every reader reads every note where it belongs.
///
/// Main thread (or any non-real-time thread); builds the whole file in memory.
class MidiFileWriter {
public:
    using Options = MidiFileOptions;

    static std::vector<std::uint8_t> write(const std::vector<RecordedMIDIEvent>& events, Options options = {});
    static std::vector<std::uint8_t> write(const EventList& events, Options options = {});
    /// The events placed by their sample times on `grid` instead of at their beat positions,
    /// the grid's first beat at tick 0 (bar 1, beat 1; anything earlier goes there too), with
    /// the grid's tempo and a 4/4 time signature at tick 0. A grid whose tempo or rate is not
    /// finite and positive leaves the events where they were recorded, with their tempo.
    static std::vector<std::uint8_t> writeOnGrid(const EventList& events, BeatGrid grid);

    /// True for a message that is written: a channel message with its exact number of data bytes.
    static bool isWritten(const MidiBytes& message) noexcept;

    /// The tick (480 per quarter note) nearest a beat position, halves away from zero: where an
    /// event at that position is written, unless the writer has to keep the ticks from going
    /// below zero or back (it then writes the event at tick 0 or at the tick before it). Not
    /// finite for a position that is not.
    static double nearestTick(double beatPosition) noexcept;
};

}  // namespace Corvel
