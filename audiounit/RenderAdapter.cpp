#include "RenderAdapter.h"

#include <algorithm>

namespace {

// Render thread. What the host said about this block, in the kernel's terms.
Corvel::HostPositionReport reportOf(const juce::AudioPlayHead::PositionInfo& info) noexcept
{
    Corvel::HostPositionReport report;
    if (const auto bpm = info.getBpm())
        report.bpm = *bpm;
    if (const auto ppq = info.getPpqPosition())
        report.beatPosition = *ppq;
    if (const auto samples = info.getTimeInSamples())
        report.sampleTime = *samples;
    if (const auto bar = info.getBarCount())
        report.bar = *bar;
    if (const auto signature = info.getTimeSignature()) {
        report.beatsPerBar = signature->numerator;
        report.beatUnit = signature->denominator;
    }
    report.playing = info.getIsPlaying();
    report.recording = info.getIsRecording();
    report.looping = info.getIsLooping();
    return report;
}

} // namespace

void RenderAdapter::prepare(double sampleRate)
{
    events.reserve(eventsPerChunk);
    rate = static_cast<float>(sampleRate);
    carrier.reset();
}

// Render thread.
std::int32_t RenderAdapter::render(Corvel::MidiProcessor& kernel, juce::AudioPlayHead* playHead, int numSamples,
                                   const juce::MidiBuffer& midi) noexcept
{
    std::optional<Corvel::HostPositionReport> report;
    if (playHead != nullptr)
        if (const auto info = playHead->getPosition())
            report = reportOf(*info);
    position = carrier.position(report ? &*report : nullptr, numSamples, rate);
    const std::int64_t blockStart = position ? position->sampleTime : 0;

    std::int32_t status = Corvel::noErr;
    auto it = midi.cbegin();
    const auto end = midi.cend();
    do {
        events.clear();
        for (; it != end && static_cast<int>(events.size()) < eventsPerChunk; ++it) {
            const auto m = *it;
            const std::int64_t t = blockStart + m.samplePosition;
            const auto length = static_cast<std::uint16_t>(std::min(m.numBytes, 0xFFFF));
            Corvel::RenderEvent& e = events.emplace_back();
            if (length <= 3 && length > 0 && m.data[0] != 0xF0)
                e.setMidi(t, m.data, length, 0);
            else
                e.setSysEx(t, m.data, length, 0);
        }
        status = kernel.process(blockStart, events);
    } while (status == Corvel::noErr && it != end);
    return status;
}

// Render thread.
bool RenderAdapter::musicalContext(double& tempo, double& beatPosition) noexcept
{
    if (!position)
        return false;
    tempo = position->tempo;
    beatPosition = position->beatPosition;
    return true;
}

// Render thread.
bool RenderAdapter::transportState(std::uint64_t& flags) noexcept
{
    if (!position)
        return false;
    flags = position->transportFlags;
    return true;
}
