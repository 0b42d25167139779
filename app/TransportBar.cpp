#include "TransportBar.h"

#include "HostTransport.h"
#include "LiveHost.h"
#include "MidiSondrelPlugin.h"
#include "Settings.h"

namespace {
constexpr int refreshHz = 30;
constexpr int deviceScanTicks = 2 * refreshHz;
}  // namespace

TransportBar::TransportBar(LiveHost& h) : host(h)
{
    playButton.onClick = [this] {
        host.setPlaying(!host.wantsPlaying());
        refreshFromHost();
    };
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
    position.setMinimumHorizontalScale(0.5f);  // long bar numbers narrow rather than end in "..."
    position.setTooltip("Bar and beat");
    demoButton.onClick = [this] {
        host.setDemoPlaying(demoButton.getToggleState());
        refreshFromHost();
    };
    openButton.onClick = [this] { chooseFileToOpen(); };
    actualSizeButton.onClick = [this] {
        if (onActualSize)
            onActualSize();
    };
    inputDevices.setTextWhenNothingSelected("None");
    outputDevices.setTextWhenNothingSelected("None");
    inputDevices.onChange = [this] {
        const int index = inputDevices.getSelectedId() - 2;
        if (!host.openMidiInput(juce::isPositiveAndBelow(index, inputs.size()) ? inputs[index].identifier
                                                                               : juce::String()))
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
             &demoButton, &openButton, &inputLabel, &inputDevices, &outputLabel, &outputDevices, &actualSizeButton}) {
        addAndMakeVisible(c);
        // The space bar belongs to the transport, wherever the pointer clicked.
        c->setWantsKeyboardFocus(false);
    }

    refreshFromHost();
    refreshDeviceLists();
    startTimerHz(refreshHz);
}

TransportBar::~TransportBar() { stopTimer(); }

void TransportBar::refreshFromHost()
{
    playButton.setButtonText(host.wantsPlaying() ? "Stop" : "Play");
    loopButton.setToggleState(host.wantsLooping(), juce::dontSendNotification);
    loopBars.setSelectedId(host.wantedLoopBars(), juce::dontSendNotification);
    tempo.setValue(host.wantedTempo(), juce::dontSendNotification);
    demoButton.setToggleState(host.wantsDemo(), juce::dontSendNotification);
    // A file brings its own tempo and length.
    tempo.setEnabled(!host.hasFile());
    loopBars.setEnabled(!host.hasFile());
    position.setText(host.positionText(), juce::dontSendNotification);
    if (auto* window = getTopLevelComponent(); window != nullptr && window != this)
        window->setName(host.hasFile() ? "MIDI Sondrel - " + host.fileName() : juce::String("MIDI Sondrel"));
    host.serviceFilePlayback();

    // Playing with nothing recorded: the events page says where MIDI can come from.
    auto& settings = host.audioUnit().settings();
    settings.live.idleHint.set(host.isPlaying() ? juce::String(waitingHint) : juce::String());
}

void TransportBar::chooseFileToOpen()
{
    // Where the last file came from, or the music folder.
    const auto folder = lastFolder.isDirectory() ? lastFolder
                                                 : juce::File::getSpecialLocation(juce::File::userMusicDirectory);
    chooser = std::make_unique<juce::FileChooser>("Open MIDI File", folder, "*.mid;*.midi;*.smf");
    chooser->launchAsync(juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles,
                         [safe = juce::Component::SafePointer<TransportBar>(this)](const juce::FileChooser& fc) {
                             if (safe != nullptr && fc.getResult() != juce::File())
                                 safe->open(fc.getResult());
                         });
}

bool TransportBar::open(const juce::File& file)
{
    if (const auto why = host.openMidiFile(file)) {
        juce::AlertWindow::showMessageBoxAsync(juce::MessageBoxIconType::WarningIcon, "Open MIDI File",
                                               file.getFileName() + ": " + *why);
        return false;
    }
    lastFolder = file.getParentDirectory();
    host.setPlaying(true);
    refreshFromHost();
    return true;
}

void TransportBar::timerCallback()
{
    refreshFromHost();
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
    refill(inputDevices, inputs,
           haveSequencer ? juce::MidiInput::getAvailableDevices() : juce::Array<juce::MidiDeviceInfo>(),
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
    const auto row = [&area] { return area.removeFromTop(rowHeight).reduced(0, 3); };
    const auto place = [](juce::Rectangle<int>& line, juce::Component& c, int width) {
        c.setBounds(line.removeFromLeft(width));
        line.removeFromLeft(6);
    };
    auto top = row();
    place(top, playButton, 56);
    place(top, returnButton, 104);
    place(top, loopButton, 56);
    place(top, loopBars, 52);
    place(top, loopBarsUnit, 32);
    place(top, tempo, 100);
    place(top, tempoUnit, 36);
    place(top, demoButton, 60);
    position.setBounds(top);

    auto bottom = row();
    place(bottom, openButton, 112);
    actualSizeButton.setBounds(bottom.removeFromRight(84));
    bottom.removeFromRight(6);
    const int half = bottom.getWidth() / 2;
    auto left = bottom.removeFromLeft(half);
    inputLabel.setBounds(left.removeFromLeft(56));
    inputDevices.setBounds(left.reduced(4, 0));
    outputLabel.setBounds(bottom.removeFromLeft(64));
    outputDevices.setBounds(bottom.reduced(4, 0));
}
