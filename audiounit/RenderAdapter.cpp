#include "RenderAdapter.h"

#include <algorithm>
#include <cstring>

void RenderAdapter::prepare()
{
    events.reserve(eventsPerChunk);
    if (output.size() < reservedMidiBytes)
        output.resize(reservedMidiBytes);
}

// Render thread.
std::int32_t RenderAdapter::render(Corvel::MidiProcessor& kernel, juce::AudioPlayHead* playHead, int numSamples,
                                   juce::MidiBuffer& midi) noexcept
{
    position.reset();
    if (playHead != nullptr)
        if (auto info = playHead->getPosition())
            position = *info;

    // The host's timeline position, or our own count of samples where it gives none.
    const auto hostTime = position ? position->getTimeInSamples() : juce::Optional<std::int64_t>();
    blockStart = hostTime ? *hostTime : runningSampleCount;
    runningSampleCount += numSamples;

    outputSize = 0;
    if (output.size() < static_cast<std::size_t>(midi.data.size())) {
        ++growths;  // more MIDI in one block than ever before: grow once, never drop
        output.resize(static_cast<std::size_t>(midi.data.size()));
    }

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

    // What was passed on is exactly as long as what came in, so the host's buffer already has
    // room for it.
    if (status == Corvel::noErr) {
        midi.data.clearQuick();
        midi.data.addArray(output.data(), static_cast<int>(outputSize));
    }
    return status;
}

// Render thread.
bool RenderAdapter::musicalContext(double& tempo, double& beatPosition) noexcept
{
    if (!position)
        return false;
    const auto bpm = position->getBpm();
    const auto ppq = position->getPpqPosition();
    if (!bpm || !ppq)
        return false;
    tempo = *bpm;
    beatPosition = *ppq;
    return true;
}

// Render thread.
bool RenderAdapter::transportState(std::uint64_t& flags) noexcept
{
    if (!position)
        return false;
    flags = 0;
    if (position->getIsPlaying())
        flags |= Corvel::TransportStateMoving;
    if (position->getIsRecording())
        flags |= Corvel::TransportStateRecording;
    if (position->getIsLooping())
        flags |= Corvel::TransportStateCycling;
    return true;
}

// Render thread. Events arrive in the order and at the times of the input, so they are written
// one after the other in MidiBuffer's own layout (time, size, bytes) instead of through
// addEvent, which searches the buffer for every insert. The output is as long as the input,
// for which render() made room.
void RenderAdapter::sendMidi(std::int64_t sampleTime, std::uint8_t, std::uint16_t length,
                             const std::uint8_t* bytes) noexcept
{
    if (length == 0 || outputSize + midiBufferHeaderSize + length > output.size())
        return;
    outputSize += writeMidiBufferEvent(output.data() + outputSize, static_cast<std::int32_t>(sampleTime - blockStart),
                                       length, bytes);
}

// Render thread.
void RenderAdapter::sendMidiEvents(std::span<const Corvel::RenderEvent> run) noexcept
{
    for (const auto& e : run)
        RenderAdapter::sendMidi(e.sampleTime, e.cable, e.length, e.bytes());
}
