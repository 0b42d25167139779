#include "TransportBar.h"

#include "HostTransport.h"
#include "LiveHost.h"

#include <cmath>

namespace {
constexpr int refreshHz = 30;
constexpr int deviceScanTicks = 2 * refreshHz;
} // namespace

TransportBar::TransportBar(LiveHost& h) : host(h)
{
    playButton.onClick = [this] { host.setPlaying(!host.wantsPlaying()); refreshFromHost(); };
    returnButton.onClick = [this] { host.returnToStart(); };
    loopButton.onClick = [this] { host.setLooping(loopButton.getToggleState()); };
    for (int bars = 1; bars <= 16; ++bars)
        loopBars.addItem(juce::String(bars), bars);
    loopBars.onChange = [this] { host.setLoopBars(loopBars.getSelectedId()); };
    tempo.setRange(HostTransport::minimumTempo, HostTransport::maximumTempo, 1.0);
    tempo.setTextBoxStyle(juce::Slider::TextBoxLeft, false, 48, rowHeight - 8);
    tempo.onValueChange = [this] { host.setTempo(tempo.getValue()); };
    position.setJustificationType(juce::Justification::centred);
    position.setFont(juce::Font(20.0f, juce::Font::bold));
    position.setTooltip("Bar and beat");
    demoButton.onClick = [this] { host.setDemoPlaying(demoButton.getToggleState()); };
    inputDevices.setTextWhenNothingSelected("None");
    outputDevices.setTextWhenNothingSelected("None");
    inputDevices.onChange = [this] {
        const int index = inputDevices.getSelectedId() - 2;
        if (!host.openMidiInput(juce::isPositiveAndBelow(index, inputs.size()) ? inputs[index].identifier : juce::String()))
            inputDevices.setSelectedId(1, juce::dontSendNotification);
    };
    outputDevices.onChange = [this] {
        const int index = outputDevices.getSelectedId() - 2;
        if (!host.openMidiOutput(juce::isPositiveAndBelow(index, outputs.size()) ? outputs[index].identifier
                                                                                  : juce::String()))
            outputDevices.setSelectedId(1, juce::dontSendNotification);
    };

    for (juce::Component* c : std::initializer_list<juce::Component*>{
             &playButton, &returnButton, &loopButton, &loopBars, &loopBarsUnit, &tempo, &tempoUnit, &position,
             &demoButton, &inputLabel, &inputDevices, &outputLabel, &outputDevices})
        addAndMakeVisible(c);

    refreshFromHost();
    refreshDeviceLists();
    startTimerHz(refreshHz);
}

TransportBar::~TransportBar()
{
    stopTimer();
}

void TransportBar::refreshFromHost()
{
    playButton.setButtonText(host.wantsPlaying() ? "Stop" : "Play");
    loopButton.setToggleState(host.wantsLooping(), juce::dontSendNotification);
    loopBars.setSelectedId(host.wantedLoopBars(), juce::dontSendNotification);
    tempo.setValue(host.wantedTempo(), juce::dontSendNotification);
    demoButton.setToggleState(host.wantsDemo(), juce::dontSendNotification);
}

juce::String TransportBar::barBeatText(double beats)
{
    const double whole = std::floor(std::max(beats, 0.0) + 1e-9);
    const auto bar = static_cast<long long>(whole / HostTransport::beatsPerBar) + 1;
    const auto beat = static_cast<int>(std::fmod(whole, HostTransport::beatsPerBar)) + 1;
    return juce::String(bar) + "." + juce::String(beat);
}

void TransportBar::timerCallback()
{
    position.setText(barBeatText(host.positionInBeats()), juce::dontSendNotification);
    playButton.setButtonText(host.wantsPlaying() ? "Stop" : "Play");
    if (--ticksUntilDeviceScan <= 0)
        refreshDeviceLists();
}

void TransportBar::refreshDeviceLists()
{
    ticksUntilDeviceScan = deviceScanTicks;
    // JUCE reaches MIDI devices through the ALSA sequencer; without it (a container, a machine
    // without sound) every scan would only print ALSA's complaint.
    const bool haveSequencer = juce::File("/dev/snd/seq").exists();
    const auto refill = [](juce::ComboBox& box, juce::Array<juce::MidiDeviceInfo>& known,
                           const juce::Array<juce::MidiDeviceInfo>& now, const juce::String& open) {
        if (now == known && box.getNumItems() > 0)
            return;
        known = now;
        box.clear(juce::dontSendNotification);
        box.addItem("None", 1);
        int selected = 1;
        for (int i = 0; i < known.size(); ++i) {
            box.addItem(known[i].name, i + 2);
            if (known[i].identifier == open)
                selected = i + 2;
        }
        box.setSelectedId(selected, juce::dontSendNotification);
    };
    refill(inputDevices, inputs, haveSequencer ? juce::MidiInput::getAvailableDevices() : juce::Array<juce::MidiDeviceInfo>(),
           host.midiInputIdentifier());
    refill(outputDevices, outputs,
           haveSequencer ? juce::MidiOutput::getAvailableDevices() : juce::Array<juce::MidiDeviceInfo>(),
           host.midiOutputIdentifier());
}

void TransportBar::paint(juce::Graphics& g)
{
    g.fillAll(getLookAndFeel().findColour(juce::ResizableWindow::backgroundColourId).darker(0.35f));
    g.setColour(juce::Colours::black.withAlpha(0.4f));
    g.drawHorizontalLine(getHeight() - 1, 0.0f, static_cast<float>(getWidth()));
}

void TransportBar::resized()
{
    auto area = getLocalBounds().reduced(6, 3);
    auto top = area.removeFromTop(rowHeight).reduced(0, 3);
    const auto place = [&top](juce::Component& c, int width) {
        c.setBounds(top.removeFromLeft(width));
        top.removeFromLeft(6);
    };
    place(playButton, 64);
    place(returnButton, 112);
    place(loopButton, 60);
    place(loopBars, 56);
    place(loopBarsUnit, 36);
    place(tempo, 112);
    place(tempoUnit, 40);
    place(demoButton, 64);
    position.setBounds(top);

    auto bottom = area.removeFromTop(rowHeight).reduced(0, 3);
    const int half = bottom.getWidth() / 2;
    auto left = bottom.removeFromLeft(half);
    inputLabel.setBounds(left.removeFromLeft(64));
    inputDevices.setBounds(left.reduced(4, 0));
    outputLabel.setBounds(bottom.removeFromLeft(72));
    outputDevices.setBounds(bottom.reduced(4, 0));
}
