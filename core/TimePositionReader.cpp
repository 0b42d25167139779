#include "TimePositionReader.h"

#include <cmath>
#include <limits>

namespace Corvel {

namespace {

bool isUsable(std::optional<double> v) noexcept { return v && std::isfinite(*v) && *v > 0.0; }

bool isWhole(double v) noexcept { return std::isfinite(v) && v == std::floor(v); }

/// How far apart two sample positions of this size may be that single precision made of one
/// (a step of it; 0 below 2^24).
std::int64_t singlePrecisionStep(std::int64_t frame) noexcept
{
    const auto f = std::fabs(static_cast<float>(frame));
    const double step = static_cast<double>(std::nextafter(f, std::numeric_limits<float>::infinity()))
        - static_cast<double>(f);
    return step > 1.0 ? static_cast<std::int64_t>(step) : 0;
}

int wholeOr(std::optional<double> v, int fallback) noexcept
{
    return isUsable(v) && *v < 1024.0 ? static_cast<int>(std::lround(*v)) : fallback;
}

}  // namespace

// Render thread.
HostPositionReport TimePositionReader::read(const TimePositionKeys& keys) noexcept
{
    if (isUsable(keys.beatsPerMinute))
        bpm = keys.beatsPerMinute;
    if (isUsable(keys.beatsPerBar))
        beatsPerBar = keys.beatsPerBar;
    if (isUsable(keys.beatUnit))
        beatUnit = keys.beatUnit;
    if (keys.speed && std::isfinite(*keys.speed))
        speed = *keys.speed;

    HostPositionReport report;
    report.bpm = bpm;
    report.sampleTime = keys.frame;
    report.playing = speed != 0.0;
    report.beatsPerBar = wholeOr(beatsPerBar, 4);
    report.beatUnit = wholeOr(beatUnit, 4);
    if (keys.bar)
        report.bar = keys.bar;

    const double perBar = beatsPerBar.value_or(4.0);
    const double quartersPerBeat = 4.0 / beatUnit.value_or(4.0);
    const bool hasBarAndBarBeat = keys.bar && keys.barBeat && std::isfinite(*keys.barBeat);
    const bool hasBeat = keys.beat && std::isfinite(*keys.beat);

    // Qtractor: a whole beat of the bar counted from 1, and the whole beats before the bar, which
    // the LV2 meaning (the song's beat = the bar's beats + the beat in it) cannot give together.
    const bool beatOfTheBar = hasBarAndBarBeat && hasBeat && isWhole(*keys.beat) && *keys.beat >= 1.0
        && *keys.beat <= perBar && isWhole(*keys.barBeat)
        && *keys.beat != static_cast<double>(*keys.bar) * perBar + *keys.barBeat;
    if (beatOfTheBar) {
        report.beatSpan = BeatSpan{(*keys.barBeat + *keys.beat - 1.0) * quartersPerBeat, quartersPerBeat};
        if (keys.frame)
            report.sampleTimeTolerance = singlePrecisionStep(*keys.frame);
    } else if (hasBarAndBarBeat) {
        report.beatPosition = (static_cast<double>(*keys.bar) * perBar + *keys.barBeat) * quartersPerBeat;
    } else if (hasBeat) {
        report.beatPosition = *keys.beat * quartersPerBeat;
    }
    return report;
}

}  // namespace Corvel
