#pragma once

#include <vector>

namespace Corvel {

/// A piecewise-constant tempo over time: converts between seconds and quarter-note beats.
/// A value; every lookup is a binary search over the changes.
class TempoMap {
public:
    static constexpr double defaultBpm = 120.0;

    /// From this point on (inclusive) the tempo is `bpm`.
    struct Change {
        double seconds = 0.0;
        double beats = 0.0;
        double bpm = defaultBpm;

        friend bool operator==(const Change&, const Change&) = default;
    };

    /// 120 BPM throughout.
    TempoMap() = default;

    /// Appends a change at `seconds` (not before the last one); the beat position is worked out
    /// from the tempo so far. A later change at the same time replaces the earlier one. A tempo
    /// that is not finite and positive is ignored.
    void addChangeAtSeconds(double seconds, double bpm);
    /// As above, placed by beat position (not before the last one).
    void addChangeAtBeats(double beats, double bpm);

    double beatsAt(double seconds) const noexcept;
    double secondsAt(double beats) const noexcept;
    double bpmAt(double seconds) const noexcept;
    /// The time of the first change after `seconds`, or infinity.
    double nextChangeAfter(double seconds) const noexcept;

    /// Always starts with a change at 0 s, 0 beats.
    const std::vector<Change>& changes() const noexcept { return list; }

private:
    const Change& changeAtSeconds(double seconds) const noexcept;
    void add(Change change);

    std::vector<Change> list{Change{}};
};

}  // namespace Corvel
