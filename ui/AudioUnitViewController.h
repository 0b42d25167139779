#pragma once

#include "MainView.h"

#include <juce_audio_processors/juce_audio_processors.h>

class MidiSondrelAudioUnit;
class Settings;

/// The plug-in's window: the main view over the audio unit's live model, 640 x 474 points to
/// start with, resizable by the host in its own proportions (there is no grip of its own).
/// Message thread.
class AudioUnitViewController final : public juce::AudioProcessorEditor {
public:
    AudioUnitViewController(MidiSondrelAudioUnit& audioUnit, Settings& settings);

    MainView& mainView() noexcept { return view; }
    void resized() override;

private:
    MainView view;
};
