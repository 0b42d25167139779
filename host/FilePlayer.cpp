#include "FilePlayer.h"

#include <algorithm>
#include <cmath>

namespace {

/// Sample positions stay far enough below the int64 limit that adding a block never overflows.
constexpr double largestSample = 4611686018427387904.0;  // 2^62

/// A number of samples as an integer, saturating instead of overflowing.
std::int64_t saturatedSamples(double samples) noexcept
{
    if (!(samples > 0.0))
        return 0;
    return samples >= largestSample ? static_cast<std::int64_t>(largestSample) : static_cast<std::int64_t>(samples);
}

}  // namespace

FilePlayer::FilePlayer(const Corvel::MidiFile& midiFile, double sampleRate, int passCount, std::size_t eventsPerStretch)
    : file(midiFile), rate(sampleRate > 0.0 && std::isfinite(sampleRate) ? sampleRate : 48000.0),
      passes(std::clamp(passCount, 1, maximumPasses)),
      stretchCapacity(std::clamp<std::size_t>(eventsPerStretch, 1, maximumEventsPerStretch)),
      grid(midiFile.timeSignatures), firstPlayable(midiFile.events.size())
{
    std::size_t lastPlayable = 0;
    for (std::size_t i = 0; i < file.events.size(); ++i) {
        if (isPlayable(i)) {
            firstPlayable = std::min(firstPlayable, i);
            lastPlayable = i;
        }
    }
    if (!hasEvents())
        return;
    nextEvent = firstPlayable;

    // Every change after the first (which is at 0 s), at the sample an event at its time has:
    // such an event plays at the new tempo.
    const auto& changes = file.tempoMap.changes();
    for (std::size_t k = 1; k < changes.size(); ++k)
        tempoBoundaries.push_back(saturatedSamples(std::floor(changes[k].seconds * rate + 0.5)));

    // Worked out in floating point, so that the playing time is right however far out the file
    // reaches; the sample count saturates.
    const auto& last = file.events[lastPlayable];
    double length = std::floor(last.seconds * rate + 0.5) + 1.0;
    loopEnd = last.beats;
    if (passes > 1) {
        loopEnd = grid.nextBarLineAfter(last.beats);
        length = std::max(length, std::ceil(file.tempoMap.secondsAt(loopEnd) * rate - 1e-6));
    }
    passLength = saturatedSamples(length);
    passSeconds = length / rate;
}

bool FilePlayer::isPlayable(std::size_t index) const noexcept
{
    using Kind = Corvel::MidiFileEvent::Kind;
    const Corvel::MidiFileEvent& e = file.events[index];
    if (e.kind == Kind::channel)
        return true;
    // A system-exclusive message that is complete in one chunk.
    return e.kind == Kind::sysEx && e.dataLength >= 2 && file.bytesOf(e).back() == 0xF7;
}

std::int64_t FilePlayer::sampleAt(std::size_t index) const noexcept
{
    return saturatedSamples(std::floor(file.events[index].seconds * rate + 0.5));
}

bool FilePlayer::next(int blockLength, Stretch& out)
{
    if (!hasEvents() || pass >= passes || blockLength <= 0)
        return false;

    std::int64_t end = std::min(position + blockLength, passLength);
    const auto boundary = std::upper_bound(tempoBoundaries.begin(), tempoBoundaries.end(), position);
    if (boundary != tempoBoundaries.end())
        end = std::min(end, *boundary);

    // The events before the end, as many as a stretch takes. When more remain, the stretch ends
    // where they begin; events at the stretch's own first sample then come in stretches of no
    // length.
    out.events.clear();
    std::size_t i = nextEvent;
    std::int64_t lastInstant = -1;     // the sample of the last event taken
    std::size_t lastInstantIndex = i;  // the first event taken at that sample
    std::size_t lastInstantCount = 0;  // and how many were taken before it
    for (; i < file.events.size(); ++i) {
        if (!isPlayable(i))
            continue;
        const std::int64_t sample = sampleAt(i);
        if (sample >= end)
            break;
        if (out.events.size() == stretchCapacity) {
            if (sample != lastInstant) {
                end = lastInstant + 1;  // the next instant begins the next stretch
            } else if (lastInstant > position) {
                out.events.resize(lastInstantCount);  // so does the instant the stretch is full in
                i = lastInstantIndex;
                end = lastInstant;
            } else {
                end = position;  // a stretch of no length at this instant
            }
            break;
        }
        if (sample != lastInstant) {
            lastInstant = sample;
            lastInstantIndex = i;
            lastInstantCount = out.events.size();
        }
        const auto& e = file.events[i];
        out.events.push_back({static_cast<int>(sample - position), file.bytesOf(e), e.beats});
    }
    nextEvent = i;

    const double seconds = static_cast<double>(position) / rate;
    HostPosition& p = out.segment.position;
    p.timeInSamples = position + (passes - 1 - pass);
    p.ppqPosition = file.tempoMap.beatsAt(seconds);
    p.bpm = file.tempoMap.changes()[static_cast<std::size_t>(boundary - tempoBoundaries.begin())].bpm;
    p.isPlaying = true;
    p.isLooping = passes > 1;
    p.loopStartPpq = 0.0;
    p.loopEndPpq = loopEnd;
    const BarGrid::Place place = grid.placeOf(p.ppqPosition);
    p.barStartPpq = place.barStart;
    p.timeSignatureNumerator = place.numerator;
    p.timeSignatureDenominator = place.denominator;
    out.segment.offset = 0;
    out.segment.length = static_cast<int>(end - position);
    out.segment.endsAtLoopEnd = passes > 1 && end == passLength;
    out.pass = pass;

    position = end;
    if (position >= passLength) {
        ++pass;
        position = 0;
        nextEvent = firstPlayable;
    }
    return true;
}
