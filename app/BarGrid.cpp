#include "BarGrid.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double tolerance = 1e-9;  // positions computed from ticks land a hair off bar lines
}

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
        regions.push_back({s.beats, length, s.numerator, s.denominator, last.firstBar + static_cast<std::int64_t>(bars)});
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
    const double k = std::max(std::floor((beats - r.start) / r.barLength + tolerance), 0.0);
    Place p;
    p.bar = r.firstBar + static_cast<std::int64_t>(k);
    p.barStart = r.start + k * r.barLength;
    p.barLength = r.barLength;
    p.numerator = r.numerator;
    p.denominator = r.denominator;
    const double unit = 4.0 / r.denominator;
    p.beat = std::clamp(static_cast<int>(std::floor((beats - p.barStart) / unit + tolerance)) + 1, 1, r.numerator);
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
