#include "MidiFileSaveDialog.h"

#include "DragToSaveImage.h"
#include "MidiFileWriter.h"
#include "MidiSondrelAudioUnit.h"
#include "Settings.h"

#include <iostream>

/// The option beside the dialog's file list.
class MidiFileSaveDialog::TempoOption final : public juce::FilePreviewComponent {
public:
    explicit TempoOption(MidiFileSaveDialog& d) : dialog(d)
    {
        toggle.setToggleState(dialog.withTempo, juce::dontSendNotification);
        toggle.onClick = [this] { dialog.withTempo = toggle.getToggleState(); };
        toggle.setTooltip("The take's tempo and a 4/4 time signature, so that players keep its speed");
        addAndMakeVisible(toggle);
        setSize(140, 60);
    }

    void selectedFileChanged(const juce::File&) override {}
    void resized() override { toggle.setBounds(getLocalBounds().removeFromTop(28).reduced(4, 0)); }

private:
    MidiFileSaveDialog& dialog;
    juce::ToggleButton toggle{"with tempo"};
};

MidiFileSaveDialog::MidiFileSaveDialog(std::vector<std::uint8_t> plainFile, std::vector<std::uint8_t> fileWithTempo,
                                       juce::File suggestedFile)
    : plain(std::move(plainFile)), tempo(std::move(fileWithTempo)), suggested(std::move(suggestedFile))
{
}

MidiFileSaveDialog::~MidiFileSaveDialog() = default;

std::unique_ptr<MidiFileSaveDialog> MidiFileSaveDialog::forRecording(Settings& model, std::int64_t recordingStartTime)
{
    auto* au = model.sondrelAU();
    const auto take = au != nullptr ? au->kernel().midiRecorder->copyRecording(recordingStartTime) : std::nullopt;
    if (!take) {
        const auto message = juce::String("Failed to save MIDI file: ") + DragToSaveImage::notHeld;
        std::cout << message << std::endl;
        showMessage(message);
        return nullptr;
    }
    const auto suggested = juce::File::getSpecialLocation(juce::File::userMusicDirectory)
                               .getChildFile(DragToSaveImage::fileNameFor(juce::Time::getCurrentTime()));
    return std::make_unique<MidiFileSaveDialog>(Corvel::MidiFileWriter::write(take->events),
                                                Corvel::MidiFileWriter::write(take->events, {.withTempo = true}), suggested);
}

bool MidiFileSaveDialog::confirm(const juce::File& target)
{
    const auto result = DragToSaveImage::writeMidiFile(withTempo ? tempo : plain, target.withFileExtension("mid"));
    if (result.failed())
        tell("Failed to save MIDI file: " + result.getErrorMessage());
    return result.wasOk();
}

void MidiFileSaveDialog::launch(Settings& owner)
{
    // JUCE's own dialog: a system one would leave out the option.
    option = std::make_unique<TempoOption>(*this);
    chooser = std::make_unique<juce::FileChooser>("Save MIDI File", suggested, "*.mid", false);
    chooser->launchAsync(juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                             | juce::FileBrowserComponent::warnAboutOverwriting,
                         [this, owner = juce::WeakReference<Wickerlamp::ParameterSettings>(&owner)](const juce::FileChooser& fc) {
                             if (fc.getResult() != juce::File())
                                 confirm(fc.getResult());
                             // Not from inside the chooser's own callback: letting go deletes it.
                             juce::MessageManager::callAsync([owner, self = this] {
                                 if (auto* settings = dynamic_cast<Settings*>(owner.get()))
                                     settings->letGo(*self);
                             });
                         },
                         option.get());
}

void MidiFileSaveDialog::showMessage(const juce::String& message)
{
    juce::AlertWindow::showMessageBoxAsync(juce::MessageBoxIconType::WarningIcon, "Save MIDI File", message);
}
