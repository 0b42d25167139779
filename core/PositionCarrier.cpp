#include "PositionCarrier.h"

#include "HostCallbacks.h"
#include "SampleMath.h"

#include <cmath>

namespace Corvel {

namespace {

/// Quarter notes in one bar; 4/4 for a time signature that makes no sense.
double quartersPerBar(int beatsPerBar, int beatUnit) noexcept
{
    if (beatsPerBar <= 0 || beatUnit <= 0)
        return 4.0;
    return beatsPerBar * 4.0 / beatUnit;
}

/// Whether `beat` lies in bar `bar` (any bar when the host names none), give or take a
/// millionth of a beat at its edges (the host rounds its bar line the same way we do).
bool isInBar(double beat, std::optional<std::int64_t> bar, int beatsPerBar, int beatUnit) noexcept
{
    if (!bar)
        return std::isfinite(beat);
    const double q = quartersPerBar(beatsPerBar, beatUnit);
    const double barStart = static_cast<double>(*bar) * q;
    constexpr double tolerance = 1e-6;
    return beat >= barStart - tolerance && beat < barStart + q + tolerance;
}

/// Whether `beat` lies in `span`, give or take a millionth of a beat at its edges.
bool isInSpan(double beat, const BeatSpan& span) noexcept
{
    constexpr double tolerance = 1e-6;
    return beat >= span.start - tolerance && beat < span.start + span.length + tolerance;
}

/// The beat position at `sampleTime` of a timeline that runs at `bpm` from sample 0, put into
/// bar `bar` by whole bars where it falls outside it.
double beatFromSampleTime(std::int64_t sampleTime, double bpm, float sampleRate, std::optional<std::int64_t> bar,
                          int beatsPerBar, int beatUnit) noexcept
{
    const double beat = beatPositionOfEvent(0.0, sampleTime, 0, sampleRate, bpm);
    if (!bar || !std::isfinite(beat) || isInBar(beat, bar, beatsPerBar, beatUnit))
        return beat;
    const double q = quartersPerBar(beatsPerBar, beatUnit);
    return beat + static_cast<double>(*bar) * q - std::floor(beat / q) * q;
}

}  // namespace

// Render thread.
std::optional<BlockPosition> PositionCarrier::position(const HostPositionReport* report, int blockLength,
                                                       float sampleRate) noexcept
{
    const std::int64_t length = blockLength > 0 ? blockLength : 0;
    const std::int64_t runningStart = runningSampleCount;
    runningSampleCount += length;

    if (report != nullptr) {
        const std::optional<BlockPosition> carried = carriedPosition(sampleRate);
        carriedSamples = 0;
        previousBlockLength = length;
        if (!report->bpm || (!report->beatPosition && !report->sampleTime)) {
            anchor.reset();  // nothing to carry: the host has said it cannot tell
            return std::nullopt;
        }
        BlockPosition p;
        p.tempo = *report->bpm;
        p.sampleTime = report->sampleTime.value_or(runningStart);
        const bool wentOn = carried && report->sampleTime
            && std::abs(static_cast<double>(sampleSpan(p.sampleTime, carried->sampleTime)))
                <= static_cast<double>(report->sampleTimeTolerance);
        if (wentOn)
            p.sampleTime = carried->sampleTime;
        if (report->beatPosition)
            p.beatPosition = *report->beatPosition;
        else if (wentOn && isInBar(carried->beatPosition, report->bar, report->beatsPerBar, report->beatUnit))
            p.beatPosition = carried->beatPosition;  // no jump (a tempo change, a start): the beat goes on
        else if (const double derived = beatFromSampleTime(p.sampleTime, p.tempo, sampleRate, report->bar,
                                                           report->beatsPerBar, report->beatUnit);
                 !report->beatSpan || isInSpan(derived, *report->beatSpan))
            p.beatPosition = derived;
        else
            p.beatPosition = report->beatSpan->start;
        const auto flag = [](bool on, std::uint64_t bit) { return on ? bit : std::uint64_t{0}; };
        p.transportFlags = flag(report->playing, TransportStateMoving)
            | flag(report->recording, TransportStateRecording) | flag(report->looping, TransportStateCycling);
        anchor = p;
        return p;
    }

    const std::optional<BlockPosition> p = carriedPosition(sampleRate);
    if (p)
        carriedSamples = sampleSpan(p->sampleTime, anchor->sampleTime);
    previousBlockLength = length;
    return p;
}

// Render thread. Where the last position has got to by the start of this block.
std::optional<BlockPosition> PositionCarrier::carriedPosition(float sampleRate) const noexcept
{
    if (!anchor)
        return std::nullopt;
    const bool moving = (anchor->transportFlags & (TransportStateMoving | TransportStateRecording)) != 0;
    BlockPosition p = *anchor;
    p.sampleTime = static_cast<std::int64_t>(
        static_cast<std::uint64_t>(anchor->sampleTime)
        + static_cast<std::uint64_t>(carriedSamples + (moving ? previousBlockLength : 0)));
    p.beatPosition = beatPositionOfEvent(anchor->beatPosition, p.sampleTime, anchor->sampleTime, sampleRate,
                                         anchor->tempo);
    return p;
}

}  // namespace Corvel
