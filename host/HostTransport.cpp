#include "HostTransport.h"

#include <algorithm>
#include <cmath>

HostTransport::HostTransport(double sampleRate, double tempo) noexcept
    : rate(std::isfinite(sampleRate) && sampleRate > 0.0 ? sampleRate : 48000.0), bpm(120.0)
{
    setTempo(tempo);
}

void HostTransport::returnToStart() noexcept { jumpTo(0, 0.0); }

void HostTransport::setLoopBars(int newBars) noexcept { bars = std::clamp(newBars, 1, maximumLoopBars); }

void HostTransport::setTempo(double newBpm) noexcept
{
    if (!std::isfinite(newBpm))
        return;
    jumpTo(samples, positionInBeats());  // re-anchor: the timeline does not move
    bpm = std::clamp(newBpm, minimumTempo, maximumTempo);
}

double HostTransport::beatsAt(std::int64_t sample) const noexcept
{
    return anchorBeats + static_cast<double>(sample - anchorSample) / rate * bpm / 60.0;
}

double HostTransport::positionInBeats() const noexcept { return beatsAt(samples); }

void HostTransport::jumpTo(std::int64_t sample, double beats) noexcept
{
    samples = sample;
    anchorSample = sample;
    anchorBeats = beats;
}

HostPosition HostTransport::positionAt(std::int64_t sample) const noexcept
{
    HostPosition p;
    p.timeInSamples = sample;
    p.ppqPosition = beatsAt(sample);
    p.bpm = bpm;
    p.isPlaying = playing;
    p.isLooping = looping;
    p.loopStartPpq = 0.0;
    p.loopEndPpq = loopEndInBeats();
    p.barStartPpq = std::floor(p.ppqPosition / beatsPerBar) * beatsPerBar;
    return p;
}

HostSegment HostTransport::nextSegment(int offset, int blockLength) noexcept
{
    const int remaining = std::max(blockLength - offset, 0);
    const double loopEnd = loopEndInBeats();
    if (playing && looping && positionInBeats() >= loopEnd)
        jumpTo(0, 0.0);  // the loop was shortened or switched on past its end

    HostSegment segment;
    segment.offset = offset;
    segment.length = remaining;
    segment.position = positionAt(samples);
    if (!playing)
        return segment;  // a stopped timeline stands still

    if (looping) {
        // The first sample at or past the loop end.
        const double samplesPerBeat = rate * 60.0 / bpm;
        const double toLoopEnd = std::ceil((loopEnd - positionInBeats()) * samplesPerBeat - 1e-6);
        const auto untilWrap = static_cast<std::int64_t>(std::max(toLoopEnd, 1.0));
        if (untilWrap <= remaining) {
            segment.length = static_cast<int>(untilWrap);
            segment.endsAtLoopEnd = true;
        }
    }
    if (segment.endsAtLoopEnd)
        jumpTo(0, 0.0);
    else
        samples += segment.length;
    return segment;
}
