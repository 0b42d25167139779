#include "TempoDetector.h"

#include "SampleMath.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace Corvel {

namespace {

constexpr double chordSeconds = 0.035;   ///< note-ons this close are one onset
constexpr double binSeconds = 0.005;     ///< of the interval histogram
constexpr double longestInterval = 4.0;  ///< seconds
constexpr int smoothing = 2;             ///< the histogram's Gaussian, in bins
constexpr int multiples = 4;             ///< of a beat period, in its comb
constexpr std::size_t candidates = 10;
constexpr double combFloor = 0.5;  ///< of the strongest comb, for a candidate
constexpr int phaseBins = 24;
constexpr double beatsPerStretch = 16;  ///< the beat lines are fitted anew in each stretch
constexpr double slowerLevelWeight = 0.55;
constexpr double preferredBpm = 120.0;
constexpr double preferenceOctaves = 2.0;
constexpr double earlyFirstNote = 0.15;  ///< of a beat: a first note this early is on the beat after

struct Onset {
    double seconds;  ///< from the first note-on
    double weight;
};

/// Bass notes and percussion mark the beat more than the rest.
double weightOf(const NoteOnset& n) noexcept
{
    if (n.channel == 9)
        return 2.0;
    return n.note < 48 ? 3.0 : 1.0;
}

/// Note-ons in time order, within chordSeconds of the first of a group, become one onset at
/// their mean time, weighing the square root of their weights together.
std::vector<Onset> onsetsOf(std::vector<NoteOnset> notes, float rate)
{
    std::sort(notes.begin(), notes.end(),
              [](const NoteOnset& a, const NoteOnset& b) { return a.sampleTime < b.sampleTime; });
    const std::int64_t first = notes.front().sampleTime;
    const auto seconds = [&](const NoteOnset& n) {
        return static_cast<double>(sampleSpan(n.sampleTime, first)) / static_cast<double>(rate);
    };
    std::vector<Onset> onsets;
    for (std::size_t i = 0; i < notes.size();) {
        const double start = seconds(notes[i]);
        double sum = 0.0, weight = 0.0;
        std::size_t j = i;
        for (; j < notes.size() && seconds(notes[j]) - start <= chordSeconds; ++j) {
            sum += seconds(notes[j]);
            weight += weightOf(notes[j]);
        }
        onsets.push_back({sum / static_cast<double>(j - i), std::sqrt(weight)});
        i = j;
    }
    return onsets;
}

/// How often (weighted) two onsets lie a given interval apart, smoothed.
class IntervalHistogram {
public:
    explicit IntervalHistogram(const std::vector<Onset>& onsets)
    {
        std::vector<double> raw(bins, 0.0);
        for (std::size_t i = 0; i < onsets.size(); ++i)
            for (std::size_t j = i + 1; j < onsets.size(); ++j) {
                const double at = (onsets[j].seconds - onsets[i].seconds) / binSeconds;
                if (at >= static_cast<double>(bins - 1))
                    break;
                const auto bin = static_cast<std::size_t>(at);
                const double w = onsets[i].weight * onsets[j].weight, part = at - static_cast<double>(bin);
                raw[bin] += w * (1.0 - part);
                raw[bin + 1] += w * part;
            }
        std::array<double, 3 * smoothing + 1> kernel{};
        for (int k = 0; k <= 3 * smoothing; ++k)
            kernel[static_cast<std::size_t>(k)] = std::exp(-0.5 * k * k / double{smoothing * smoothing});
        for (std::size_t b = 0; b < bins; ++b)
            for (int k = -3 * smoothing; k <= 3 * smoothing; ++k) {
                const auto from = static_cast<std::ptrdiff_t>(b) + k;
                if (from >= 0 && from < static_cast<std::ptrdiff_t>(bins))
                    smoothed[b] += raw[static_cast<std::size_t>(from)] * kernel[static_cast<std::size_t>(std::abs(k))];
            }
    }

    double at(double seconds) const noexcept
    {
        const double x = seconds / binSeconds;
        const auto bin = static_cast<std::size_t>(x);
        if (x < 0.0 || bin + 1 >= bins)
            return 0.0;
        const double part = x - static_cast<double>(bin);
        return smoothed[bin] * (1.0 - part) + smoothed[bin + 1] * part;
    }

    /// The strength of a beat period: the histogram at the period and its first multiples.
    double comb(double period) const noexcept
    {
        double sum = 0.0;
        for (int m = 1; m <= multiples; ++m)
            sum += at(m * period);
        return sum;
    }

    /// The period near `period` at which its longest multiple within the histogram peaks.
    double refined(double period) const noexcept
    {
        const int m = std::clamp(static_cast<int>(longestInterval / period), 1, 8);
        double best = m * period, strongest = -1.0;
        for (double lag = 0.99 * m * period; lag <= 1.01 * m * period; lag += binSeconds / 10.0)
            if (const double v = at(lag); v > strongest) {
                strongest = v;
                best = lag;
            }
        return best / m;
    }

private:
    static constexpr auto bins = static_cast<std::size_t>(longestInterval / binSeconds) + 2;
    std::vector<double> smoothed = std::vector<double>(bins, 0.0);
};

/// Where in a period of beat lines through 0 a time falls, from 0 up to 1.
double phaseOf(double seconds, double period) noexcept
{
    const double beats = seconds / period;
    return beats - std::floor(beats);
}

struct BeatFit {
    double weightOnBeats = 0.0;  ///< the onsets' weight on the best beat lines of each stretch
    double firstPhase = 0.0;     ///< seconds after the first onset of the first stretch's beat lines
};

/// The weight of the onsets that fall on beat lines of `period`, the lines placed anew in
/// each stretch of beatsPerStretch beats (so that a tempo off by a little, or drifting, keeps
/// its onsets on its lines).
BeatFit fitBeats(const std::vector<Onset>& onsets, double period)
{
    BeatFit fit;
    bool first = true;
    for (std::size_t i = 0; i < onsets.size();) {
        const double end = onsets[i].seconds + beatsPerStretch * period;
        std::array<double, phaseBins> phases{};
        std::size_t j = i;
        for (; j < onsets.size() && onsets[j].seconds < end; ++j) {
            phases[static_cast<std::size_t>(phaseOf(onsets[j].seconds, period) * phaseBins) % phaseBins] +=
                onsets[j].weight;
        }
        double most = -1.0;
        std::size_t at = 0;
        for (std::size_t b = 0; b < phaseBins; ++b) {
            const double v = phases[b] + 0.5 * (phases[(b + 1) % phaseBins] + phases[(b + phaseBins - 1) % phaseBins]);
            if (v > most) {
                most = v;
                at = b;
            }
        }
        fit.weightOnBeats += most;
        if (first) {
            // The lines of the first stretch: the weighted circular mean of the onsets near them.
            double x = 0.0, y = 0.0;
            for (std::size_t k = i; k < j; ++k) {
                const double phase = phaseOf(onsets[k].seconds, period);
                const double offset = std::remainder(phase - (static_cast<double>(at) + 0.5) / phaseBins, 1.0);
                if (std::abs(offset) <= 1.5 / phaseBins) {
                    x += onsets[k].weight * std::cos(2.0 * std::numbers::pi * phase);
                    y += onsets[k].weight * std::sin(2.0 * std::numbers::pi * phase);
                }
            }
            const double phase = std::atan2(y, x) / (2.0 * std::numbers::pi);
            fit.firstPhase = (phase < 0.0 ? phase + 1.0 : phase) * period;
            first = false;
        }
        i = j;
    }
    return fit;
}

}  // namespace

std::optional<TempoEstimate> TempoDetector::estimate(std::span<const NoteOnset> noteOns, float sampleRate)
{
    if (noteOns.size() < minimumNoteOns || !isUsableSampleRate(sampleRate))
        return std::nullopt;
    const std::vector<Onset> onsets = onsetsOf({noteOns.begin(), noteOns.end()}, sampleRate);
    if (onsets.size() < 4)
        return std::nullopt;
    const IntervalHistogram histogram(onsets);

    // The combs that stand out, strongest first.
    std::vector<std::pair<double, double>> combs;  // comb, period
    const double shortest = 60.0 / fastestBpm, longest = 60.0 / slowestBpm;
    double previous = -1.0;
    bool rising = false;
    for (double period = shortest; period <= longest * 1.0025; period *= 1.0025) {
        const double comb = histogram.comb(period);
        if (comb < previous && rising)
            combs.emplace_back(previous, period / 1.0025);
        rising = comb > previous;
        previous = comb;
    }
    if (rising)
        combs.emplace_back(previous, longest);
    std::sort(combs.begin(), combs.end(), std::greater<>());
    if (combs.empty() || combs.front().first <= 0.0)
        return std::nullopt;
    combs.resize(std::min(combs.size(), candidates));

    double bestScore = -1.0, bestPeriod = 0.0, bestPhase = 0.0;
    for (const auto& [comb, roughly] : combs) {
        if (comb < combFloor * combs.front().first)
            break;
        const double period = std::clamp(histogram.refined(roughly), shortest, longest);
        const BeatFit fit = fitBeats(onsets, period);
        const double octaves = std::log2(60.0 / period / preferredBpm) / preferenceOctaves;
        const double score = fit.weightOnBeats * std::pow(period, slowerLevelWeight)
            * std::exp(-0.5 * octaves * octaves);
        if (score > bestScore) {
            bestScore = score;
            bestPeriod = period;
            bestPhase = fit.firstPhase;
        }
    }

    // The beat line the performance starts on, in samples from the first note-on.
    const double beats = std::floor(-bestPhase / bestPeriod + earlyFirstNote);
    const double firstBeat = (bestPhase + beats * bestPeriod) * static_cast<double>(sampleRate);
    const std::int64_t firstNote =
        std::min_element(noteOns.begin(), noteOns.end(), [](const NoteOnset& a, const NoteOnset& b) {
            return a.sampleTime < b.sampleTime;
        })->sampleTime;
    return TempoEstimate{60.0 / bestPeriod, firstNote + static_cast<std::int64_t>(std::llround(firstBeat))};
}

std::vector<NoteOnset> TempoDetector::noteOnsOf(const EventList& events)
{
    std::vector<NoteOnset> noteOns;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MidiBytes& m = events.dataAt(i);
        if (m.size() == 3 && (m[0] & 0xF0) == 0x90 && m[2] != 0 && m[1] < 0x80)
            noteOns.push_back({events.sampleTimeAt(i), m[1], static_cast<std::uint8_t>(m[0] & 0x0F)});
    }
    return noteOns;
}

std::optional<TempoEstimate> TempoDetector::estimate(const Recording& take)
{
    return estimate(noteOnsOf(take.events), take.sampleRate);
}

}  // namespace Corvel
