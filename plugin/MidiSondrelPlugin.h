#pragma once

#include "MidiSondrelAudioUnit.h"

#include <memory>

class Settings;

/// The plug-in as hosts get it from the factory: the audio unit together with its parameter
/// set and live model (`Settings`), which lives as long as the audio unit so that parameters
/// outlive any window, and the window (`AudioUnitViewController`) over both.
///
/// Threads: as MidiSondrelAudioUnit; `settings()` and the editor belong to the message thread.
class MidiSondrelPlugin final : public MidiSondrelAudioUnit {
public:
    /// Creates the parameter set, installs its parameter tree on this audio unit and its
    /// listeners, and starts its poll.
    MidiSondrelPlugin();
    ~MidiSondrelPlugin() override;

    Settings& settings() const noexcept { return *parameterSet; }

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return true; }

private:
    // Destroyed before the audio unit's kernel: its poll timer stops first.
    std::unique_ptr<Settings> parameterSet;
};
