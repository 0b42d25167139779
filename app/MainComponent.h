#pragma once

#include "TransportBar.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

class LiveHost;

/// The app's window contents: the transport bar above the plug-in's own window, which it hosts
/// as the audio unit creates it and follows in size.
///
/// Message thread.
class MainComponent final : public juce::Component, private juce::ComponentListener {
public:
    explicit MainComponent(LiveHost& host);
    ~MainComponent() override;

    TransportBar& transportBar() noexcept { return bar; }
    void paint(juce::Graphics& g) override;
    void resized() override;

private:
    void componentMovedOrResized(juce::Component& component, bool wasMoved, bool wasResized) override;
    void fitToEditor();

    TransportBar bar;
    std::unique_ptr<juce::AudioProcessorEditor> editor;
};
