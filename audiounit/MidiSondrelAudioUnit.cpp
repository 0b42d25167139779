#include "MidiSondrelAudioUnit.h"

#include "ParameterNode.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr const char* keepTakesAttribute = "keepTakes";
constexpr const char* zoomAttribute = "zoom";
constexpr const char* captureWhileStoppedAttribute = "captureWhileStopped";
constexpr const char* takesToKeepAttribute = "takesToKeep";
constexpr int outputChannels = 2;
constexpr int inputMaximumChannels = 8;
}  // namespace

MidiSondrelAudioUnit::MidiSondrelAudioUnit()
    : Wickerlamp::WickerAudioUnit(BusesProperties()
                                      .withInput("Input", juce::AudioChannelSet::stereo(), true)
                                      .withOutput("Output", juce::AudioChannelSet::stereo(), true)),
      midiProcessor(std::make_unique<Corvel::MidiProcessor>())
{
    input.initialise(defaultSampleRate, outputChannels, inputMaximumChannels);
}

MidiSondrelAudioUnit::~MidiSondrelAudioUnit() = default;

void MidiSondrelAudioUnit::setParameter(std::uint64_t, float) {}

const juce::String MidiSondrelAudioUnit::getName() const { return "MIDI Sondrel"; }

bool MidiSondrelAudioUnit::isBusesLayoutSupported(const BusesLayout& layouts) const
{
    // Two channels in, two out: the channel capabilities [2, 2].
    return layouts.getMainInputChannels() == 2 && layouts.getMainOutputChannels() == 2;
}

// Host thread, no block in progress: the render resources.
void MidiSondrelAudioUnit::prepareToPlay(double sampleRate, int maximumExpectedSamplesPerBlock)
{
    maxFrames = static_cast<std::uint32_t>(std::max(maximumExpectedSamplesPerBlock, 0));
    input.initialise(sampleRate, getMainBusNumInputChannels(), inputMaximumChannels);
    input.allocateRenderResources(maxFrames);
    adapter.prepare(sampleRate);

    midiProcessor->setSampleRate(static_cast<float>(sampleRate));
    midiProcessor->setMusicalContextSource(&adapter);
    midiProcessor->setTransportStateSource(&adapter);
    // What the kernel passes on is exactly what came in: the host's buffer stays as it is.
    midiProcessor->setMidiOutput(nullptr);
}

// The kernel, its host callbacks and every recording stay as they are.
void MidiSondrelAudioUnit::releaseResources() {}

// Audio thread.
void MidiSondrelAudioUnit::processBlock(juce::AudioBuffer<float>& audio, juce::MidiBuffer& midi)
{
    render(midi, audio.getNumSamples(), false);
}

// Audio thread. The host's bypass: MIDI still goes through, untouched and unrecorded.
void MidiSondrelAudioUnit::processBlockBypassed(juce::AudioBuffer<float>& audio, juce::MidiBuffer& midi)
{
    render(midi, audio.getNumSamples(), true);
}

// Audio thread. The audio passes through as it is (the buffer is processed in place).
void MidiSondrelAudioUnit::render(juce::MidiBuffer& midi, int numSamples, bool bypassed) noexcept
{
    midiProcessor->shouldBypassEffect.store(bypassed, std::memory_order_relaxed);
    lastStatus.store(adapter.render(*midiProcessor, getPlayHead(), numSamples, midi), std::memory_order_relaxed);
}

// Message thread.
std::vector<Corvel::Scale> MidiSondrelAudioUnit::currentScalesForDisplay()
{
    return scalesForDisplay(midiProcessor->noteDetector->guessScale());
}

std::vector<Corvel::Scale> MidiSondrelAudioUnit::scalesForDisplay(std::vector<Corvel::Scale> guesses)
{
    std::erase_if(guesses, [](const Corvel::Scale& s) { return s.matchingNoteCount < 3; });
    return guesses;
}

void MidiSondrelAudioUnit::setZoom(float zoom) noexcept
{
    windowZoom.store(std::isnan(zoom) ? minimumZoom : std::clamp(zoom, minimumZoom, maximumZoom),
                     std::memory_order_relaxed);
}

// The parameter values, the window's zoom and the capture options where they are not their
// defaults, and, with "Keep takes with the project" on, that option and the takes. Host or
// message thread.
void MidiSondrelAudioUnit::getStateInformation(juce::MemoryBlock& destData)
{
    juce::XmlElement state("MidiSondrelState");
    for (auto* p : getParameters())
        if (auto* node = dynamic_cast<Wickerlamp::ParameterNode*>(p))
            state.setAttribute(node->getParameterID(), static_cast<double>(node->value()));
    if (zoom() != 1.0f)
        state.setAttribute(zoomAttribute, static_cast<double>(zoom()));
    if (capturesWhileStopped())
        state.setAttribute(captureWhileStoppedAttribute, 1);
    if (takesToKeep() != Corvel::MidiProcessor::defaultRecordingCount)
        state.setAttribute(takesToKeepAttribute, takesToKeep());
    if (keepsTakesWithProject()) {
        state.setAttribute(keepTakesAttribute, 1);
        const auto saved = midiProcessor->midiRecorder->read(
            [&state](const Corvel::MIDIRecorder& recorder) { return TakesState::write(recorder, state); });
        savedKept.store(saved.kept, std::memory_order_relaxed);
        savedInUse.store(saved.inUse, std::memory_order_relaxed);
    }
    copyXmlToBinary(state, destData);
}

void MidiSondrelAudioUnit::setStateInformation(const void* data, int sizeInBytes)
{
    const auto state = getXmlFromBinary(data, sizeInBytes);
    if (state == nullptr || !state->hasTagName("MidiSondrelState"))
        return;
    for (auto* p : getParameters())
        if (auto* node = dynamic_cast<Wickerlamp::ParameterNode*>(p))
            if (state->hasAttribute(node->getParameterID()))
                node->setValueNotifyingHost(
                    node->normalise(static_cast<float>(state->getDoubleAttribute(node->getParameterID()))));
    // A state without a zoom (saved at 1, or before there was one) shows the window at 1.
    setZoom(static_cast<float>(state->getDoubleAttribute(zoomAttribute, 1.0)));
    // Options a state does not mention (saved at their defaults, or before they existed) are
    // at their defaults; the number of takes to keep comes before the takes it holds.
    setCapturesWhileStopped(state->getBoolAttribute(captureWhileStoppedAttribute, false));
    setTakesToKeep(state->getIntAttribute(takesToKeepAttribute, Corvel::MidiProcessor::defaultRecordingCount));
    // A state saved without the option (every state before it existed) leaves the takes alone.
    setKeepsTakesWithProject(state->getBoolAttribute(keepTakesAttribute, false));
    if (auto takes = TakesState::read(*state, midiProcessor->midiRecorder->slotCount()))
        midiProcessor->replaceRecordings(std::move(*takes));
}
