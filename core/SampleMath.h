#pragma once

#include <cmath>
#include <cstdint>

namespace Corvel {

/// later − earlier in samples, wrapping instead of overflowing for extreme host sample times.
inline std::int64_t sampleSpan(std::int64_t later, std::int64_t earlier) noexcept
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(later) - static_cast<std::uint64_t>(earlier));
}

inline bool isUsableSampleRate(float rate) noexcept
{
    return std::isfinite(rate) && rate > 0.0f;
}

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
        + (static_cast<double>(sampleSpan(eventSampleTime, cycleSampleTime)) / static_cast<double>(rate)) * beatsPerSecond;
}

} // namespace Corvel
