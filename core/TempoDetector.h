#pragma once

#include "MIDIRecorder.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace Corvel {

/// A tempo found in what was played.
struct TempoEstimate {
    double bpm = 0.0;
    /// The sample time of the beat the performance starts on: the beat line at or before the
    /// first note-on, or the one just after it when that note-on came up to 0.15 beat early.
    std::int64_t firstBeatSampleTime = 0;

    friend bool operator==(const TempoEstimate&, const TempoEstimate&) = default;
};

/// One note-on of a performance.
struct NoteOnset {
    std::int64_t sampleTime = 0;
    std::uint8_t note = 60;
    std::uint8_t channel = 0;  ///< 0-15; 9 is the percussion channel
};

/// Finds the tempo a performance was played at, between 60 and 200 BPM, from its note-ons.
///
/// The note-ons close together (a chord) make one onset. The onsets' pairwise intervals (up to
/// four seconds) form a histogram in which a beat period and its multiples stand out; its
/// strongest combs are the candidate beats, each measured precisely at its longest multiple.
/// Each candidate is then judged by how much of the performance falls on its beat lines
/// (stretch by stretch, so that a tempo that drifts a little still counts), where bass notes
/// and percussion weigh more, with a preference for the slower of two levels that both carry
/// the notes and, between those, for tempi near 120 BPM. That preference is what settles
/// octave errors: the beat of a tune of straight eighths is taken at its quarter notes.
///
/// Pure functions; they allocate, so never the render thread. About a millisecond for 10,000
/// note-ons.
class TempoDetector {
public:
    static constexpr std::size_t minimumNoteOns = 8;
    static constexpr double slowestBpm = 60.0;
    static constexpr double fastestBpm = 200.0;

    /// Nothing for fewer than minimumNoteOns note-ons, a rate that is not finite and positive,
    /// or note-ons with no pulse between 60 and 200 BPM. Any order.
    static std::optional<TempoEstimate> estimate(std::span<const NoteOnset> noteOns, float sampleRate);

    /// The note-ons (note-on messages of a velocity above 0) of recorded events, in order.
    static std::vector<NoteOnset> noteOnsOf(const EventList& events);
    /// A take's tempo, from its note-ons at the take's own sample rate.
    static std::optional<TempoEstimate> estimate(const Recording& take);
};

}  // namespace Corvel
