#pragma once

#include "Observable.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

/// One recording as the recording list shows it. Its event count, duration and lost events
/// change while it is the live recording. Message thread.
class RecordingSummary {
public:
    RecordingSummary(int index, std::int64_t originalStartTime, std::int64_t noteCount, double duration,
                     bool capturedWhileStopped = false, std::uint64_t lostEvents = 0);

    const int index;                       ///< slot: 0 is the live (newest) recording
    const juce::Time startTime;            ///< whole seconds
    const std::int64_t originalStartTime;  ///< milliseconds since 1970, as the recorder holds it
    /// Captured while the host's transport stood still (a free take).
    const bool capturedWhileStopped;
    Wickerlamp::Observable<std::int64_t> noteCount;
    Wickerlamp::Observable<double> duration;  ///< seconds
    /// Events played into the take that could not be kept (memory ran out on the audio thread).
    Wickerlamp::Observable<std::uint64_t> lostEvents;
    /// The tempo a free take was played at, once it has enough note-ons to tell.
    Wickerlamp::Observable<std::optional<double>> detectedTempo;

    std::int64_t id() const noexcept { return originalStartTime; }

    /// Index, start second, count, duration and how it was captured; the exact start time is not
    /// compared.
    bool sameAs(const RecordingSummary& other) const;
    std::size_t hash() const;
};

using RecordingSummaries = std::vector<std::shared_ptr<RecordingSummary>>;

struct SummaryListsEqual {
    bool operator()(const RecordingSummaries& a, const RecordingSummaries& b) const;
};

/// The list of recordings, newest first, observable on its own.
class RecordingInfo {
public:
    Wickerlamp::Observable<RecordingSummaries, SummaryListsEqual> summaries;
};
