#pragma once

#include "HostCallbacks.h"

#include <cstdint>
#include <optional>

namespace Corvel {

/// A beat, in quarter notes from the timeline's start, that a host names without saying where in
/// it the position lies.
struct BeatSpan {
    double start = 0.0;
    double length = 1.0;
};

/// What a host said about its position at the start of one block; every part may be missing.
struct HostPositionReport {
    std::optional<double> bpm;
    std::optional<double> beatPosition;      ///< quarter-note beats from the timeline's start
    std::optional<std::int64_t> sampleTime;  ///< the timeline position in samples
    std::optional<std::int64_t> bar;         ///< bars from the timeline's start, the first is 0
    int beatsPerBar = 4;                     ///< time signature, when the host gives one
    int beatUnit = 4;
    /// Instead of a beat position: the beat the position lies in.
    std::optional<BeatSpan> beatSpan;
    /// How far the sample time may be off the host's true one (it went through single precision).
    std::int64_t sampleTimeTolerance = 0;
    bool playing = false;
    bool recording = false;
    bool looping = false;
};

/// The position a block runs at, as the kernel is given it.
struct BlockPosition {
    double tempo = 0.0;
    double beatPosition = 0.0;
    std::int64_t sampleTime = 0;  ///< of the block's first sample
    std::uint64_t transportFlags = 0;
};

/// The kernel's host callbacks answered from the position of the block being rendered (set by
/// the adapter before each kernel cycle): "cannot tell" while there is none. Render thread.
class BlockPositionSource : public MusicalContextSource, public TransportStateSource {
public:
    bool musicalContext(double& tempo, double& beatPosition) noexcept override
    {
        if (!position)
            return false;
        tempo = position->tempo;
        beatPosition = position->beatPosition;
        return true;
    }
    bool transportState(std::uint64_t& flags) noexcept override
    {
        if (!position)
            return false;
        flags = position->transportFlags;
        return true;
    }

protected:
    std::optional<BlockPosition> position;  ///< of the block being rendered
};

/// Keeps the host's last position and carries it forward between the blocks in which the host
/// says nothing: LV2 hosts send their position only when it changes (start, stop, locate, tempo,
/// loop), and other hosts may give it only now and then.
///
/// - A block with a report uses it; the report replaces whatever was carried. Where the host
///   gives no beat position: if the transport simply went on (the report's sample time is where
///   the carried position had got to, as at a tempo change) the carried beat goes on too, so a
///   tempo change is exact; after a jump (a locate, a loop) it is worked out from the host's
///   sample time and tempo and moved by whole bars into the bar the host names, which is exact
///   while the tempo has been constant since the timeline's start.
/// - A host that names only the beat (BeatSpan) gets the same; after a jump, a position worked
///   out that does not lie in that beat gives way to the beat's start (where a locate to a beat
///   or bar line lands).
/// - A sample time within the report's tolerance of where the carried position had got to is
///   taken as the transport going on: the carried sample time stays, so that a host's rounding
///   never reads as a jump back.
/// - A block without one, after a report that said the transport moves, runs at the last
///   position advanced by the samples since then (and the beats they make at its tempo); while
///   stopped it stays where it was.
/// - Until a host has given a usable report (one with a tempo) there is no position at all.
///
/// Render thread only (one instance per adapter); no allocation, lock or wait.
class PositionCarrier {
public:
    /// Render thread. The position of a block of `blockLength` samples at `sampleRate`;
    /// `report` is what the host said for it, or null.
    std::optional<BlockPosition> position(const HostPositionReport* report, int blockLength, float sampleRate) noexcept;

    /// Forgets everything (render resources allocated anew; no render call in progress).
    void reset() noexcept { *this = PositionCarrier{}; }

private:
    std::optional<BlockPosition> carriedPosition(float sampleRate) const noexcept;

    std::optional<BlockPosition> anchor;  ///< the host's last usable position
    std::int64_t carriedSamples = 0;      ///< samples run since the anchor
    std::int64_t previousBlockLength = 0;
    std::int64_t runningSampleCount = 0;  ///< stands in for a host that gives no sample time
};

}  // namespace Corvel
