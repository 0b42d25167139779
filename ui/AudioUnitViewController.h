#pragma once

#include "MainView.h"

#include <juce_audio_processors/juce_audio_processors.h>

class MidiSondrelAudioUnit;
class Settings;

/// The plug-in's window: the main view over the audio unit's live model, at 640 x 474 points
/// times the zoom kept with the project to start with (and again whenever a zoom is chosen),
/// resizable by the host in its own proportions (there is no grip of its own). A host's own
/// scale factor applies on top, as the editor's transform. Message thread.
class AudioUnitViewController final : public juce::AudioProcessorEditor {
public:
    AudioUnitViewController(MidiSondrelAudioUnit& audioUnit, Settings& settings);
    ~AudioUnitViewController() override;

    MainView& mainView() noexcept { return view; }
    void resized() override;

private:
    Settings& model;
    MainView view;
    std::size_t zoomObserver = 0;
    bool resizeRequestPending = false;
};
