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
    setResizeLimits(MainView::designWidth / 2, MainView::designHeight / 2, MainView::designWidth * 4, MainView::designHeight * 4);
    getConstrainer()->setFixedAspectRatio(static_cast<double>(MainView::designWidth) / MainView::designHeight);
    const auto zoomed = [this](float zoom) {
        const auto size = MainView::sizeAt(zoom);
        setSize(size.getWidth(), size.getHeight());
    };
    zoomed(audioUnit.zoom());
    zoomObserver = model.live.zoom.addObserver(zoomed);
}

AudioUnitViewController::~AudioUnitViewController()
{
    model.live.zoom.removeObserver(zoomObserver);
}

void AudioUnitViewController::resized()
{
    view.setBounds(getLocalBounds());

    // JUCE's LV2 UI fits the editor to its proportions inside a window the host resized, but
    // does not tell the host, so the window keeps the shape the host chose. A resize of our own,
    // one turn later, is passed on to the host and the window follows.
    auto* parent = getParentComponent();
    if (processor.wrapperType != juce::AudioProcessor::wrapperType_LV2 || parent == nullptr || resizeRequestPending
        || getBounds() == parent->getLocalBounds())
        return;
    resizeRequestPending = true;
    juce::MessageManager::callAsync([safe = juce::Component::SafePointer<AudioUnitViewController>(this)] {
        if (safe == nullptr)
            return;
        const int w = safe->getWidth();
        const int h = safe->getHeight();
        safe->setSize(w, h - 1);  // setSize to the same size would do nothing
        safe->setSize(w, h);
        safe->resizeRequestPending = false;
    });
}
