#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_gui_basics/juce_gui_basics.h>

class LiveHost;

/// The app's own controls above the plug-in's window: Play/Stop, Return to start, Loop with its
/// length in bars, tempo, the Demo switch, the position as bar.beat; then "Open MIDI File…",
/// the MIDI devices and "Actual size".
///
/// Message thread. Shows what the host's render thread last did, 30 times a second, and tells
/// the plug-in's window what to say while the transport runs with nothing recorded.
class TransportBar final : public juce::Component, private juce::Timer {
public:
    static constexpr int rowHeight = 34;
    static constexpr int preferredHeight = 2 * rowHeight + 6;
    static constexpr int minimumWidth = 640;

    explicit TransportBar(LiveHost& host);
    ~TransportBar() override;

    /// The line the events page shows while the transport runs and nothing was recorded yet.
    static constexpr const char* waitingHint = "Turn on Demo, open a MIDI file, or play a connected MIDI device";

    /// Makes the controls match the host (after it was changed from outside), as the timer does.
    void refreshFromHost();
    /// Opens a file chooser; the file chosen plays at once.
    void chooseFileToOpen();
    /// Plays a file, or says why it cannot (a message box). False when it cannot.
    bool open(const juce::File& file);

    /// Runs when "Actual size" is clicked.
    std::function<void()> onActualSize;

    const juce::Label& positionReadout() const noexcept { return position; }

    void paint(juce::Graphics& g) override;
    void resized() override;

private:
    void timerCallback() override;
    void refreshDeviceLists();

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
    juce::TextButton openButton{juce::CharPointer_UTF8("Open MIDI File\xe2\x80\xa6")};
    juce::TextButton actualSizeButton{"Actual size"};
    juce::Label inputLabel{{}, "MIDI in"};
    juce::ComboBox inputDevices;
    juce::Label outputLabel{{}, "MIDI out"};
    juce::ComboBox outputDevices;
    juce::Array<juce::MidiDeviceInfo> inputs;
    juce::Array<juce::MidiDeviceInfo> outputs;
    int ticksUntilDeviceScan = 0;
    std::unique_ptr<juce::FileChooser> chooser;
    juce::File lastFolder;
};
