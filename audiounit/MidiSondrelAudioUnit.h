#pragma once

#include "BufferedInputBus.h"
#include "MidiProcessor.h"
#include "NoteDetector.h"
#include "RenderAdapter.h"
#include "WickerAudioUnit.h"

#include <atomic>
#include <memory>
#include <vector>

class Settings;

/// The plug-in: a MIDI effect that passes every MIDI message through unchanged while the
/// kernel records and analyses it.
///
/// Threads: processBlock runs on the host's audio thread and only runs the kernel through the
/// render adapter. prepareToPlay/releaseResources run on a host thread while no block is being
/// processed. currentScalesForDisplay and everything the window uses run on the message thread.
class MidiSondrelAudioUnit final : public Wickerlamp::WickerAudioUnit {
public:
    static constexpr double defaultSampleRate = 44100.0;
    static constexpr std::uint32_t defaultMaximumFramesToRender = 1024;

    MidiSondrelAudioUnit();
    ~MidiSondrelAudioUnit() override;

    /// The audio unit keeps its parameter set alive for as long as it lives.
    void adoptSettings(std::unique_ptr<Settings> settings);
    Settings* settings() const noexcept { return parameterSet.get(); }

    Corvel::MidiProcessor& kernel() noexcept { return *midiProcessor; }

    /// The scales to show: the detector's guesses once three or more pitch classes are held.
    std::vector<Corvel::Scale> currentScalesForDisplay();
    /// Of a detector's guesses, those shown (see currentScalesForDisplay).
    static std::vector<Corvel::Scale> scalesForDisplay(std::vector<Corvel::Scale> guesses);

    std::uint32_t maximumFramesToRender() const noexcept { return maxFrames; }
    const BufferedInputBus& inputBus() const noexcept { return input; }
    /// The status of the last render call (0, or -10863 when the kernel could not run).
    std::int32_t lastRenderStatus() const noexcept { return lastStatus.load(std::memory_order_relaxed); }
    const RenderAdapter& renderAdapter() const noexcept { return adapter; }

    // Wickerlamp::WickerAudioUnit: the kernel has no parameters.
    using Wickerlamp::WickerAudioUnit::setParameter;
    void setParameter(std::uint64_t address, float value) override;

    // juce::AudioProcessor (single precision only; the double-precision overloads stay JUCE's)
    using juce::AudioProcessor::processBlock;
    using juce::AudioProcessor::processBlockBypassed;
    const juce::String getName() const override;
    void prepareToPlay(double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock(juce::AudioBuffer<float>& audio, juce::MidiBuffer& midi) override;
    void processBlockBypassed(juce::AudioBuffer<float>& audio, juce::MidiBuffer& midi) override;
    bool isBusesLayoutSupported(const BusesLayout& layouts) const override;
    bool acceptsMidi() const override { return true; }
    bool producesMidi() const override { return true; }
    bool isMidiEffect() const override { return true; }
    double getTailLengthSeconds() const override { return 0.0; }
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return true; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram(int) override {}
    const juce::String getProgramName(int) override { return "Default"; }
    void changeProgramName(int, const juce::String&) override {}
    void getStateInformation(juce::MemoryBlock& destData) override;
    void setStateInformation(const void* data, int sizeInBytes) override;

private:
    void render(juce::MidiBuffer& midi, int numSamples, bool bypassed) noexcept;

    std::unique_ptr<Corvel::MidiProcessor> midiProcessor;
    BufferedInputBus input;
    RenderAdapter adapter;
    std::uint32_t maxFrames = defaultMaximumFramesToRender;
    std::atomic<std::int32_t> lastStatus{Corvel::noErr};
    // Declared last so that it goes first: its poll timer stops before the kernel is gone.
    std::unique_ptr<Settings> parameterSet;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(MidiSondrelAudioUnit)
};
