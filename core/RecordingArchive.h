#pragma once

#include "MIDIRecorder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace Corvel {

/// The takes as bytes, so that a plug-in's saved state can keep them with the project, and back.
///
/// Little-endian: "MSTK", version 2, the number of takes, then per take its start time (ms),
/// sample rate, flags (bit 0: captured while stopped), lost-event count and event count, and per
/// event its sample time, tempo, beat position, length and bytes. Takes are in slot order,
/// newest first. Version 1 (no flags, no lost-event count) is still read. Any thread; pure
/// functions.
class RecordingArchive {
public:
    struct Encoded {
        std::vector<std::uint8_t> bytes;
        int takesKept = 0;   ///< takes written
        int takesInUse = 0;  ///< takes there were
    };

    /// The recordings in use, newest first, as long as their events take no more than
    /// `eventByteLimit` bytes: the first take that would pass the limit is left out, and every
    /// older one with it, so that what is kept is the newest takes, whole.
    static Encoded encode(const MIDIRecorder& recorder, std::size_t eventByteLimit);

    /// The takes of an encoded archive, or nothing when the bytes are not one (truncated, a
    /// count beyond the data, more takes than `slotCount`, a start time that is not positive,
    /// flags it does not know).
    /// A start time that appears again moves on by a millisecond, so that every take can be
    /// told apart.
    static std::optional<std::vector<Recording>> decode(std::span<const std::uint8_t> bytes, int slotCount);
};

}  // namespace Corvel
