#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace Corvel {

/// A value sampleSpan never gives, free to mean "no span" (for example a stopped transport).
inline constexpr std::int64_t noSampleSpan = std::numeric_limits<std::int64_t>::min();

/// later − earlier in samples, wrapping instead of overflowing for extreme host sample times.
/// The one difference that would wrap to noSampleSpan gives the value next to it, which reads as
/// the same number of seconds in single and double precision.
inline std::int64_t sampleSpan(std::int64_t later, std::int64_t earlier) noexcept
{
    const auto span = static_cast<std::int64_t>(static_cast<std::uint64_t>(later)
                                                - static_cast<std::uint64_t>(earlier));
    return span == noSampleSpan ? noSampleSpan + 1 : span;
}

inline bool isUsableSampleRate(float rate) noexcept { return std::isfinite(rate) && rate > 0.0f; }

inline bool isUsableTempo(double bpm) noexcept { return std::isfinite(bpm) && bpm > 0.0; }

/// Seconds spanned by a number of samples, computed in single precision and widened;
/// 0 when the sample rate is zero, negative or not finite.
inline double secondsForSamples(std::int64_t samples, float rate) noexcept
{
    return isUsableSampleRate(rate) ? static_cast<double>(static_cast<float>(samples) / rate) : 0.0;
}

/// The beat position of an event: the cycle's beat plus the event's offset in the cycle at the
/// tempo. Without a usable sample rate or a finite tempo the event takes the cycle's beat.
inline double beatPositionOfEvent(double cycleBeat, std::int64_t eventSampleTime, std::int64_t cycleSampleTime,
                                  float rate, double tempo) noexcept
{
    const double beatsPerSecond = tempo / 60.0;
    if (!isUsableSampleRate(rate) || !std::isfinite(beatsPerSecond))
        return cycleBeat;
    return cycleBeat
        + (static_cast<double>(sampleSpan(eventSampleTime, cycleSampleTime)) / static_cast<double>(rate))
        * beatsPerSecond;
}

}  // namespace Corvel
