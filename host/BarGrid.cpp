#include "BarGrid.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double tolerance = 1e-9;  // positions computed from ticks land a hair off bar lines
/// Bars are counted in whole numbers far below the int64 limit, however far out a position is.
constexpr double maximumBar = 1.0e15;

std::int64_t wholeBars(double bars) noexcept { return static_cast<std::int64_t>(std::clamp(bars, 0.0, maximumBar)); }
}  // namespace

BarGrid::BarGrid(const std::vector<Corvel::TimeSignature>& signatures)
{
    regions.push_back({0.0, 4.0, 4, 4, 1});
    for (const auto& s : signatures) {
        if (s.numerator <= 0 || s.denominator <= 0 || !std::isfinite(s.beats) || s.beats < regions.back().start)
            continue;
        const double length = s.numerator * 4.0 / s.denominator;
        Region& last = regions.back();
        if (s.beats <= last.start + tolerance) {
            last.barLength = length;
            last.numerator = s.numerator;
            last.denominator = s.denominator;
            continue;
        }
        const double bars = std::ceil((s.beats - last.start) / last.barLength - tolerance);
        regions.push_back({s.beats, length, s.numerator, s.denominator,
                           std::min(last.firstBar + wholeBars(bars), wholeBars(maximumBar))});
    }
}

const BarGrid::Region& BarGrid::regionAt(double beats) const
{
    auto after = std::upper_bound(regions.begin(), regions.end(), beats + tolerance,
                                  [](double b, const Region& r) { return b < r.start; });
    return after == regions.begin() ? regions.front() : *(after - 1);
}

BarGrid::Place BarGrid::placeOf(double beats) const
{
    if (!std::isfinite(beats) || beats < 0.0)
        beats = 0.0;
    const Region& r = regionAt(beats);
    const double k = std::clamp(std::floor((beats - r.start) / r.barLength + tolerance), 0.0, maximumBar);
    Place p;
    p.bar = r.firstBar + wholeBars(k);
    p.barStart = r.start + k * r.barLength;
    p.barLength = r.barLength;
    p.numerator = r.numerator;
    p.denominator = r.denominator;
    const double unit = 4.0 / r.denominator;
    p.beat = static_cast<int>(
        std::clamp(std::floor((beats - p.barStart) / unit + tolerance) + 1.0, 1.0, static_cast<double>(r.numerator)));
    return p;
}

std::string BarGrid::barBeat(double beats) const
{
    const Place p = placeOf(beats);
    return std::to_string(p.bar) + "." + std::to_string(p.beat);
}

double BarGrid::nextBarLineAfter(double beats) const
{
    const Place p = placeOf(beats);
    double next = p.barStart + p.barLength;
    auto after = std::upper_bound(regions.begin(), regions.end(), beats + tolerance,
                                  [](double b, const Region& r) { return b < r.start; });
    if (after != regions.end())
        next = std::min(next, after->start);
    return next;
}
