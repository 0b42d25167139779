#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_gui_basics/juce_gui_basics.h>

class LiveHost;

/// The app's own controls above the plug-in's window: Play/Stop, Return to start, Loop with its
/// length in bars, tempo, the position as bar.beat, the Demo switch and the MIDI devices.
///
/// Message thread. Shows what the host's render thread last did, 30 times a second.
class TransportBar final : public juce::Component, private juce::Timer {
public:
    static constexpr int rowHeight = 34;
    static constexpr int preferredHeight = 2 * rowHeight + 6;
    static constexpr int minimumWidth = 640;

    explicit TransportBar(LiveHost& host);
    ~TransportBar() override;

    /// Makes the controls match the host's wanted state (after it was changed from outside).
    void refreshFromHost();

    void paint(juce::Graphics& g) override;
    void resized() override;

private:
    void timerCallback() override;
    void refreshDeviceLists();
    static juce::String barBeatText(double beats);

    LiveHost& host;
    juce::TextButton playButton{"Play"};
    juce::TextButton returnButton{"Return to start"};
    juce::ToggleButton loopButton{"Loop"};
    juce::ComboBox loopBars;
    juce::Label loopBarsUnit{{}, "bars"};
    juce::Slider tempo{juce::Slider::IncDecButtons, juce::Slider::TextBoxLeft};
    juce::Label tempoUnit{{}, "BPM"};
    juce::Label position{{}, "1.1"};
    juce::ToggleButton demoButton{"Demo"};
    juce::Label inputLabel{{}, "MIDI in"};
    juce::ComboBox inputDevices;
    juce::Label outputLabel{{}, "MIDI out"};
    juce::ComboBox outputDevices;
    juce::Array<juce::MidiDeviceInfo> inputs;
    juce::Array<juce::MidiDeviceInfo> outputs;
    int ticksUntilDeviceScan = 0;
};
