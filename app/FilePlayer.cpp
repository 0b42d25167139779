#include "FilePlayer.h"

#include <algorithm>
#include <cmath>

namespace {

std::int64_t sampleOf(double seconds, double rate)
{
    return static_cast<std::int64_t>(std::floor(seconds * rate + 0.5));
}

bool isPlayable(const Corvel::MidiFile& file, const Corvel::MidiFileEvent& e)
{
    using Kind = Corvel::MidiFileEvent::Kind;
    if (e.kind == Kind::channel)
        return true;
    // A system-exclusive message that is complete in one chunk.
    return e.kind == Kind::sysEx && e.dataLength >= 2 && file.bytesOf(e).back() == 0xF7;
}

} // namespace

FilePlayer::FilePlayer(const Corvel::MidiFile& midiFile, double sampleRate, int passCount)
    : file(midiFile), rate(sampleRate > 0.0 && std::isfinite(sampleRate) ? sampleRate : 48000.0),
      passes(std::clamp(passCount, 1, maximumPasses)), grid(midiFile.timeSignatures)
{
    for (const auto& e : file.events)
        if (isPlayable(file, e))
            playable.push_back({sampleOf(e.seconds, rate), &e});
    if (playable.empty())
        return;

    for (const auto& change : file.tempoMap.changes())
        if (change.seconds > 0.0)
            tempoBoundaries.push_back(static_cast<std::int64_t>(std::ceil(change.seconds * rate)));

    const double lastBeats = playable.back().event->beats;
    const std::int64_t lastSample = playable.back().sample;
    if (passes > 1) {
        loopEnd = grid.nextBarLineAfter(lastBeats);
        const auto end = static_cast<std::int64_t>(std::ceil(file.tempoMap.secondsAt(loopEnd) * rate - 1e-6));
        passLength = std::max(end, lastSample + 1);
    } else {
        loopEnd = lastBeats;
        passLength = lastSample + 1;
    }
}

bool FilePlayer::next(int blockLength, Stretch& out)
{
    if (playable.empty() || pass >= passes || blockLength <= 0)
        return false;

    std::int64_t end = std::min(position + blockLength, passLength);
    const auto boundary = std::upper_bound(tempoBoundaries.begin(), tempoBoundaries.end(), position);
    if (boundary != tempoBoundaries.end())
        end = std::min(end, *boundary);

    const double seconds = static_cast<double>(position) / rate;
    HostPosition& p = out.segment.position;
    p.timeInSamples = position;
    p.ppqPosition = file.tempoMap.beatsAt(seconds);
    p.bpm = file.tempoMap.bpmAt(seconds);
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

    out.events.clear();
    for (; nextEvent < playable.size() && playable[nextEvent].sample < end; ++nextEvent) {
        const Playable& e = playable[nextEvent];
        out.events.push_back({static_cast<int>(std::max<std::int64_t>(e.sample - position, 0)), file.bytesOf(*e.event),
                              e.event->beats});
    }

    position = end;
    if (position >= passLength) {
        ++pass;
        position = 0;
        nextEvent = 0;
    }
    return true;
}
