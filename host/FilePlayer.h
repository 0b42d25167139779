#pragma once

#include "BarGrid.h"
#include "HostTransport.h"
#include "MidiFileReader.h"

#include <cstdint>
#include <span>
#include <vector>

/// Plays a Standard MIDI File as a host would: the transport runs, the tempo and beat position
/// come from the file's tempo map, and with several passes the timeline jumps back to the start
/// at a loop end, the first bar line after the file's last event. Blocks are split where the
/// tempo changes and where a pass ends, so every stretch has one tempo. Each pass starts one
/// sample earlier on the host's timeline than the one before, so that every pass begins a
/// recording of its own even when all its events fall on one sample.
///
/// A stretch carries at most `eventsPerStretch` events (maximumEventsPerStretch unless the owner
/// asks for fewer); more events at one instant come in stretches of no length at that instant,
/// so that no block has to hold a whole dense file.
///
/// Only channel messages and complete system-exclusive messages are played; meta events and F7
/// chunks are not MIDI messages. However long the file, no sample position overflows: lengths
/// saturate, and playingSeconds() tells the caller how long all passes really take.
///
/// Thread: one owner. Not for a real-time thread (it reads the file's events by reference).
class FilePlayer {
public:
    static constexpr int maximumPasses = 100;
    static constexpr std::size_t maximumEventsPerStretch = 4096;

    struct Event {
        int offset = 0;  ///< in the stretch
        std::span<const std::uint8_t> bytes;
        double beats = 0.0;  ///< the event's place in the file
    };

    struct Stretch {
        HostSegment segment;  ///< offset 0: each stretch is a block of its own
        int pass = 0;         ///< from 0
        std::vector<Event> events;
    };

    /// `file` must outlive the player. `passes` is clamped to 1..maximumPasses, `eventsPerStretch`
    /// to 1..maximumEventsPerStretch.
    FilePlayer(const Corvel::MidiFile& file, double sampleRate, int passes,
               std::size_t eventsPerStretch = maximumEventsPerStretch);

    bool hasEvents() const noexcept { return firstPlayable < file.events.size(); }
    int passCount() const noexcept { return passes; }
    std::int64_t passLengthInSamples() const noexcept { return passLength; }
    /// How long every pass takes to play, each up to its loop end (or its last event).
    double playingSeconds() const noexcept { return passSeconds * passes; }
    double loopEndInBeats() const noexcept { return loopEnd; }
    const BarGrid& bars() const noexcept { return grid; }

    /// The next stretch of at most `blockLength` samples; false when every pass is played.
    bool next(int blockLength, Stretch& out);

private:
    bool isPlayable(std::size_t index) const noexcept;
    std::int64_t sampleAt(std::size_t index) const noexcept;

    const Corvel::MidiFile& file;
    double rate;
    int passes;
    std::size_t stretchCapacity;
    BarGrid grid;
    std::size_t firstPlayable;
    std::vector<std::int64_t> tempoBoundaries;  ///< first sample of each tempo change after the first
    std::int64_t passLength = 0;
    double passSeconds = 0.0;
    double loopEnd = 0.0;

    int pass = 0;
    std::int64_t position = 0;  ///< in the pass
    std::size_t nextEvent = 0;
};
