#include "MainComponent.h"

#include "Assets.h"
#include "LiveHost.h"
#include "MainView.h"
#include "MidiSondrelPlugin.h"

MainComponent::MainComponent(LiveHost& h) : host(h), bar(h)
{
    addAndMakeVisible(bar);
    pluginWindow.reset(host.processor().createEditorIfNeeded());
    if (pluginWindow != nullptr) {
        addAndMakeVisible(*pluginWindow);
        pluginWindow->addComponentListener(this);
    }
    bar.onActualSize = [this] { showActualSize(); };
    setWantsKeyboardFocus(true);
    showActualSize();
}

MainComponent::~MainComponent()
{
    if (pluginWindow != nullptr)
        pluginWindow->removeComponentListener(this);
    pluginWindow.reset();  // before the audio unit it belongs to
}

juce::Rectangle<int> MainComponent::actualSize(float zoom)
{
    const auto plugin = MainView::sizeAt(zoom);
    return {0, 0, juce::jmax(plugin.getWidth(), minimumWidth), TransportBar::preferredHeight + plugin.getHeight()};
}

juce::Rectangle<int> MainComponent::editorBoundsFor(int width, int height)
{
    const int areaHeight = juce::jmax(0, height - TransportBar::preferredHeight);
    constexpr double ratio = static_cast<double>(MainView::designWidth) / MainView::designHeight;
    int w = juce::jmax(0, width);
    int h = juce::roundToInt(w / ratio);
    if (h > areaHeight) {
        h = areaHeight;
        w = juce::roundToInt(h * ratio);
    }
    return {(width - w) / 2, TransportBar::preferredHeight, w, h};
}

void MainComponent::showActualSize()
{
    // The window fits itself to its contents.
    const auto size = actualSize(host.audioUnit().zoom());
    setSize(size.getWidth(), size.getHeight());
}

void MainComponent::componentMovedOrResized(juce::Component& component, bool, bool wasResized)
{
    // Sizes this component gives the plug-in's window are what editorBoundsFor says; any other
    // came from the plug-in itself.
    if (!wasResized || &component != pluginWindow.get()
        || component.getBounds() == editorBoundsFor(getWidth(), getHeight()))
        return;
    setSize(juce::jmax(component.getWidth(), minimumWidth), TransportBar::preferredHeight + component.getHeight());
}

bool MainComponent::keyPressed(const juce::KeyPress& key)
{
    if (key != juce::KeyPress::spaceKey)
        return false;
    host.setPlaying(!host.wantsPlaying());
    bar.refreshFromHost();
    return true;
}

void MainComponent::paint(juce::Graphics& g) { g.fillAll(pluginAssets().colour("background")); }

void MainComponent::resized()
{
    bar.setBounds(getLocalBounds().removeFromTop(TransportBar::preferredHeight));
    if (pluginWindow != nullptr)
        pluginWindow->setBounds(editorBoundsFor(getWidth(), getHeight()));
}
