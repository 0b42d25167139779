#include "AudioUnitViewController.h"

#include "MidiSondrelAudioUnit.h"
#include "Settings.h"

AudioUnitViewController::AudioUnitViewController(MidiSondrelAudioUnit& audioUnit, Settings& settings)
    : juce::AudioProcessorEditor(audioUnit), model(settings), view(settings)
{
    addAndMakeVisible(view);
    // Hosts resize the window by its frame; a grip in the corner would cover the keyboard
    // strip's last key.
    setResizable(true, false);
    setResizeLimits(MainView::designWidth / 2, MainView::designHeight / 2, MainView::designWidth * 4,
                    MainView::designHeight * 4);
    getConstrainer()->setFixedAspectRatio(static_cast<double>(MainView::designWidth) / MainView::designHeight);
    const auto zoomed = [this](float zoom) {
        const auto size = MainView::sizeAt(zoom);
        setSize(size.getWidth(), size.getHeight());
    };
    zoomed(audioUnit.zoom());
    zoomObserver = model.live.zoom.addObserver(zoomed);
}

AudioUnitViewController::~AudioUnitViewController() { model.live.zoom.removeObserver(zoomObserver); }

void AudioUnitViewController::resized() { view.setBounds(getLocalBounds()); }
