#include "AudioUnitViewController.h"

#include "MidiSondrelAudioUnit.h"
#include "Settings.h"

AudioUnitViewController::AudioUnitViewController(MidiSondrelAudioUnit& audioUnit, Settings& settings)
    : juce::AudioProcessorEditor(audioUnit), view(settings)
{
    addAndMakeVisible(view);
    // Hosts resize the window by its frame; a grip in the corner would cover the keyboard
    // strip's last key.
    setResizable(true, false);
    setResizeLimits(MainView::designWidth / 2, MainView::designHeight / 2, MainView::designWidth * 4, MainView::designHeight * 4);
    getConstrainer()->setFixedAspectRatio(static_cast<double>(MainView::designWidth) / MainView::designHeight);
    setSize(MainView::designWidth, MainView::designHeight);
}

void AudioUnitViewController::resized()
{
    view.setBounds(getLocalBounds());
}
