#include "AudioUnitViewController.h"

#include "MidiSondrelAudioUnit.h"
#include "Settings.h"

AudioUnitViewController::AudioUnitViewController(MidiSondrelAudioUnit& audioUnit)
    : juce::AudioProcessorEditor(audioUnit), view(*audioUnit.settings())
{
    addAndMakeVisible(view);
    setResizable(true, true);
    setResizeLimits(MainView::designWidth / 2, MainView::designHeight / 2, MainView::designWidth * 4, MainView::designHeight * 4);
    getConstrainer()->setFixedAspectRatio(static_cast<double>(MainView::designWidth) / MainView::designHeight);
    setSize(MainView::designWidth, MainView::designHeight);
}

void AudioUnitViewController::resized()
{
    view.setBounds(getLocalBounds());
}
