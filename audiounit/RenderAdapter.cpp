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

}  // namespace

void RenderAdapter::prepare(double sampleRate)
{
    rate = static_cast<float>(sampleRate);
    carrier.reset();
}

// Render thread. The block's events go to the kernel in chunks of eventsPerChunk, read through
// MidiBuffer's public iterator.
std::int32_t RenderAdapter::render(Corvel::MidiProcessor& kernel, juce::AudioPlayHead* playHead, int numSamples,
                                   const juce::MidiBuffer& midi) noexcept
{
    std::optional<Corvel::HostPositionReport> report;
    if (playHead != nullptr)
        if (const auto info = playHead->getPosition())
            report = reportOf(*info);
    position = carrier.position(report ? &*report : nullptr, numSamples, rate);
    const std::int64_t blockStart = position ? position->sampleTime : 0;

    auto in = midi.cbegin();
    const auto end = midi.cend();
    std::int32_t status = Corvel::noErr;
    do {
        std::size_t count = 0;
        for (; in != end && count < eventsPerChunk; ++in, ++count) {
            const juce::MidiMessageMetadata m = *in;
            events[count].set(blockStart + m.samplePosition, m.data, static_cast<std::uint16_t>(m.numBytes), 0);
        }
        const bool more = in != end;  // the block's length goes with its last part
        status = kernel.process(blockStart, more ? 0u : static_cast<std::uint32_t>(std::max(numSamples, 0)),
                                std::span(events.data(), count));
    } while (status == Corvel::noErr && in != end);
    return status;
}
