#pragma once

#include "TransportBar.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

class LiveHost;

/// The app's window contents: the transport bar above the plug-in's own window. Whatever size
/// the window is given, the bar takes its width and the plug-in's window the largest size in
/// its own proportions, 640:474 to the nearest pixel, that fits below; the rest is painted in
/// the plug-in's background. When the plug-in's window asks for a size of its own (a zoom was
/// chosen in its menu), the app's window takes the size that holds it. The space bar starts and
/// stops the transport.
///
/// Message thread.
class MainComponent final : public juce::Component, private juce::ComponentListener {
public:
    explicit MainComponent(LiveHost& host);
    ~MainComponent() override;

    static constexpr int minimumWidth = TransportBar::minimumWidth;
    /// The plug-in's window at its design size times `zoom` under the bar.
    static juce::Rectangle<int> actualSize(float zoom = 1.0f);
    /// The plug-in window's bounds in a window of this size.
    static juce::Rectangle<int> editorBoundsFor(int width, int height);

    TransportBar& transportBar() noexcept { return bar; }
    juce::AudioProcessorEditor* editor() noexcept { return pluginWindow.get(); }
    /// Back to the size of the plug-in's zoom ("Actual size"); the window follows.
    void showActualSize();

    bool keyPressed(const juce::KeyPress& key) override;
    void paint(juce::Graphics& g) override;
    void resized() override;

private:
    void componentMovedOrResized(juce::Component& component, bool wasMoved, bool wasResized) override;

    LiveHost& host;
    TransportBar bar;
    std::unique_ptr<juce::AudioProcessorEditor> pluginWindow;
};
