#include "TempoMap.h"

#include "SampleMath.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Corvel {

void TempoMap::add(Change change)
{
    if (change.seconds <= list.back().seconds) {
        // Same instant (a later change wins); an earlier one cannot happen through the callers.
        change.seconds = list.back().seconds;
        change.beats = list.back().beats;
        list.back().bpm = change.bpm;
        return;
    }
    list.push_back(change);
}

void TempoMap::addChangeAtSeconds(double seconds, double bpm)
{
    if (!isUsableTempo(bpm) || !std::isfinite(seconds))
        return;
    add({seconds, beatsAt(seconds), bpm});
}

void TempoMap::addChangeAtBeats(double beats, double bpm)
{
    if (!isUsableTempo(bpm) || !std::isfinite(beats))
        return;
    add({secondsAt(beats), beats, bpm});
}

const TempoMap::Change& TempoMap::changeAtSeconds(double seconds) const noexcept
{
    // The last change at or before `seconds` (the first one for earlier times).
    auto after = std::upper_bound(list.begin(), list.end(), seconds,
                                  [](double s, const Change& c) { return s < c.seconds; });
    return after == list.begin() ? list.front() : *(after - 1);
}

double TempoMap::beatsAt(double seconds) const noexcept
{
    const Change& c = changeAtSeconds(seconds);
    return c.beats + (seconds - c.seconds) * c.bpm / 60.0;
}

double TempoMap::secondsAt(double beats) const noexcept
{
    auto after = std::upper_bound(list.begin(), list.end(), beats,
                                  [](double b, const Change& c) { return b < c.beats; });
    const Change& c = after == list.begin() ? list.front() : *(after - 1);
    return c.seconds + (beats - c.beats) * 60.0 / c.bpm;
}

double TempoMap::bpmAt(double seconds) const noexcept { return changeAtSeconds(seconds).bpm; }

double TempoMap::nextChangeAfter(double seconds) const noexcept
{
    auto after = std::upper_bound(list.begin(), list.end(), seconds,
                                  [](double s, const Change& c) { return s < c.seconds; });
    return after == list.end() ? std::numeric_limits<double>::infinity() : after->seconds;
}

}  // namespace Corvel
