#pragma once

#include "BufferedInputBus.h"
#include "MidiProcessor.h"
#include "NoteDetector.h"
#include "RenderAdapter.h"
#include "TakesState.h"
#include "WickerAudioUnit.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

/// The audio unit: a MIDI effect that passes every MIDI message through unchanged while the
/// kernel records and analyses it. Knows nothing of its window; MidiSondrelPlugin adds it.
///
/// Threads: processBlock runs on the host's audio thread and only runs the kernel through the
/// render adapter. prepareToPlay/releaseResources run on a host thread while no block is being
/// processed. currentScalesForDisplay and everything the window uses run on the message thread.
class MidiSondrelAudioUnit : public Wickerlamp::WickerAudioUnit {
public:
    static constexpr double defaultSampleRate = 44100.0;
    static constexpr std::uint32_t defaultMaximumFramesToRender = 1024;

    MidiSondrelAudioUnit();
    ~MidiSondrelAudioUnit() override;

    Corvel::MidiProcessor& kernel() noexcept { return *midiProcessor; }

    /// The scales to show: the detector's guesses once three or more pitch classes are held.
    std::vector<Corvel::Scale> currentScalesForDisplay();
    /// Of a detector's guesses, those shown (see currentScalesForDisplay).
    static std::vector<Corvel::Scale> scalesForDisplay(std::vector<Corvel::Scale> guesses);

    std::uint32_t maximumFramesToRender() const noexcept { return maxFrames; }
    const BufferedInputBus& inputBus() const noexcept { return input; }
    /// "Keep takes with the project": the saved state holds the takes, and loading it brings them
    /// back. Off by default (the state is then only the parameters). Any thread.
    void setKeepsTakesWithProject(bool keep) noexcept { keepsTakes.store(keep, std::memory_order_relaxed); }
    bool keepsTakesWithProject() const noexcept { return keepsTakes.load(std::memory_order_relaxed); }
    /// What the last saved state kept of the takes (nothing before a save with the option on).
    TakesState::Saved lastSavedTakes() const noexcept
    {
        return {savedKept.load(std::memory_order_relaxed), savedInUse.load(std::memory_order_relaxed)};
    }
    /// "Clear takes": every recording goes. Message thread.
    void clearTakes() { midiProcessor->replaceRecordings({}); }

    /// "Capture while stopped": what is played while the host's transport stands still (or in a
    /// host that tells no position) is recorded into takes of its own. Off by default. Any thread.
    void setCapturesWhileStopped(bool on) noexcept { midiProcessor->setCaptureWhileStopped(on); }
    bool capturesWhileStopped() const noexcept { return midiProcessor->capturesWhileStopped(); }
    /// "Takes to keep": how many takes are held (the newest that fit stay when it shrinks). The
    /// window offers takesToKeepChoices; a state may hold any count from 1 to the kernel's most.
    /// Message thread (or a host thread restoring a state).
    static constexpr std::array<int, 4> takesToKeepChoices{5, 10, 25, 50};
    void setTakesToKeep(int count) { midiProcessor->setRecordingCount(count); }
    int takesToKeep() const noexcept { return midiProcessor->getRecordingCount(); }

    /// The window's zoom, kept with the project: 1 shows it at 640 x 474, 2 at twice that.
    /// Values outside minimumZoom to maximumZoom are brought inside; one that is not a number
    /// gives 1. Any thread.
    static constexpr float minimumZoom = 1.0f;
    static constexpr float maximumZoom = 2.0f;
    void setZoom(float zoom) noexcept;
    float zoom() const noexcept { return windowZoom.load(std::memory_order_relaxed); }

    /// The status of the last render call (0, or -10863 when the kernel could not run).
    std::int32_t lastRenderStatus() const noexcept { return lastStatus.load(std::memory_order_relaxed); }

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
    juce::AudioProcessorEditor* createEditor() override { return nullptr; }
    bool hasEditor() const override { return false; }
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
    std::atomic<bool> keepsTakes{false};
    std::atomic<float> windowZoom{1.0f};
    std::atomic<int> savedKept{0};
    std::atomic<int> savedInUse{0};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(MidiSondrelAudioUnit)
};
