#pragma once

#include "PositionCarrier.h"

#include <cstdint>
#include <optional>

namespace Corvel {

/// The keys of one position object as an LV2 host sent it (time:Position): each one present or
/// not, numbers already widened from whatever atom type the host chose.
struct TimePositionKeys {
    std::optional<std::int64_t> frame;     ///< time:frame, the timeline position in samples
    std::optional<double> speed;           ///< time:speed, 0 when stopped
    std::optional<std::int64_t> bar;       ///< time:bar, the first bar is 0
    std::optional<double> barBeat;         ///< time:barBeat
    std::optional<double> beat;            ///< time:beat
    std::optional<double> beatUnit;        ///< time:beatUnit (4 for quarter notes)
    std::optional<double> beatsPerBar;     ///< time:beatsPerBar
    std::optional<double> beatsPerMinute;  ///< time:beatsPerMinute
};

/// Turns the position objects of an LV2 host into what PositionCarrier takes, in the meaning
/// the host gives its keys.
///
/// - The LV2 meaning (Ardour, jalv, Carla, JUCE's hosting): the song position in quarter notes
///   is (bar × beatsPerBar + barBeat) × 4 / beatUnit, or time:beat × 4 / beatUnit where bar and
///   barBeat are missing. (bar × beatsPerBar counts the bars before as all of today's length, so
///   after a change of time signature the position is off by what the earlier bars differ.)
/// - Qtractor's meaning, recognised by its keys: it sends an object on the first cycle of every
///   beat, with time:beat the whole beat within the bar counted from 1 and time:barBeat the whole
///   beats at the bar's start. That names the beat the position lies in, not where in the beat,
///   so the report gives that beat (BeatSpan) and leaves the rest to the carrier. Qtractor's frame
///   went through single precision, so beyond 2^24 samples it may be off by a few samples.
/// - Tempo, time signature and speed last until the host sends them again; frame, bar, barBeat
///   and beat belong to the object they came in.
///
/// Render thread (one instance per plug-in instance); no allocation, lock or wait.
class TimePositionReader {
public:
    /// Render thread. The report for one position object.
    HostPositionReport read(const TimePositionKeys& keys) noexcept;

    /// Forgets what the host said (render resources allocated anew).
    void reset() noexcept { *this = TimePositionReader{}; }

private:
    std::optional<double> bpm;
    std::optional<double> beatsPerBar;
    std::optional<double> beatUnit;
    double speed = 0.0;
};

}  // namespace Corvel
