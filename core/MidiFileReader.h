#pragma once

#include "TempoMap.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace Corvel {

/// One event of a Standard MIDI File, placed on the file's timeline.
struct MidiFileEvent {
    enum class Kind : std::uint8_t {
        channel,      ///< a channel message, status byte first (running status expanded)
        sysEx,        ///< F0 followed by the chunk's bytes (normally ending in F7)
        sysExEscape,  ///< the bytes of an F7 chunk: a continuation or any raw bytes
        meta,         ///< `metaType`, the bytes are the meta event's data
    };

    std::uint64_t tick = 0;  ///< absolute, in the file's division
    double seconds = 0.0;
    double beats = 0.0;            ///< quarter notes
    std::uint32_t dataOffset = 0;  ///< into MidiFile::data
    std::uint32_t dataLength = 0;
    std::uint16_t track = 0;
    Kind kind = Kind::channel;
    std::uint8_t metaType = 0;
};

struct TimeSignature {
    double beats = 0.0;  ///< where it starts, in quarter notes
    int numerator = 4;
    int denominator = 4;

    friend bool operator==(const TimeSignature&, const TimeSignature&) = default;
};

/// The contents of a Standard MIDI File.
struct MidiFile {
    int format = 0;
    int trackCount = 0;
    int ticksPerQuarterNote = 0;   ///< 0 for SMPTE time
    double framesPerSecond = 0.0;  ///< SMPTE time only (29 stands for 29.97)
    int ticksPerFrame = 0;         ///< SMPTE time only

    /// Every track's events merged in time order; events at the same tick keep track order, then
    /// file order. Format 2 files (independent sequences) are laid out one after the other.
    std::vector<MidiFileEvent> events;
    std::vector<std::uint8_t> data;  ///< the events' bytes
    /// Tempo changes of every track (format 0 and 1), starting at 120 BPM.
    TempoMap tempoMap;
    /// Time signature changes in time order; empty means 4/4 throughout.
    std::vector<TimeSignature> timeSignatures;
    /// Where the last track ends (its End of Track, or its last event).
    double lengthSeconds = 0.0;
    double lengthBeats = 0.0;

    std::span<const std::uint8_t> bytesOf(const MidiFileEvent& event) const noexcept
    {
        return {data.data() + event.dataOffset, event.dataLength};
    }
};

/// Reads Standard MIDI Files (format 0, 1 and 2, ticks per quarter note or SMPTE time) the way
/// common readers do: running status (kept across meta and system-exclusive events), F0 and F7
/// system-exclusive chunks, meta events, unknown chunks skipped, bytes after End of Track
/// ignored. Anything it cannot read gives a one-line reason instead of a file; no input makes it
/// read outside the given bytes.
class MidiFileReader {
public:
    static constexpr std::size_t maximumFileSize = std::size_t{1} << 30;

    struct Result {
        std::optional<MidiFile> file;
        std::string error;  ///< set when there is no file
    };

    static Result read(std::span<const std::uint8_t> bytes);
};

}  // namespace Corvel
