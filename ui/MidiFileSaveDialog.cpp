#include "MidiFileSaveDialog.h"

#include "DragToSaveImage.h"
#include "MidiSondrelAudioUnit.h"
#include "Settings.h"

#include <iostream>

MidiFileSaveDialog::MidiFileSaveDialog(std::vector<std::uint8_t> midiFile, juce::File suggestedFile)
    : bytes(std::move(midiFile)), suggested(std::move(suggestedFile))
{
}

MidiFileSaveDialog::~MidiFileSaveDialog() = default;

std::unique_ptr<MidiFileSaveDialog> MidiFileSaveDialog::forRecording(Settings& model, std::int64_t recordingStartTime)
{
    auto* au = model.sondrelAU();
    auto bytes = au != nullptr ? au->kernel().midiRecorder->midiFileForRecording(recordingStartTime) : std::nullopt;
    if (!bytes) {
        const juce::String message = "Failed to save MIDI file: the recording is no longer held (only the last five are kept)";
        std::cout << message << std::endl;
        showMessage(message);
        return nullptr;
    }
    const auto suggested = juce::File::getSpecialLocation(juce::File::userMusicDirectory)
                               .getChildFile(DragToSaveImage::fileNameFor(juce::Time::getCurrentTime()));
    return std::make_unique<MidiFileSaveDialog>(std::move(*bytes), suggested);
}

bool MidiFileSaveDialog::confirm(const juce::File& target)
{
    const auto result = DragToSaveImage::writeMidiFile(bytes, target.withFileExtension("mid"));
    if (result.failed())
        tell("Failed to save MIDI file: " + result.getErrorMessage());
    return result.wasOk();
}

void MidiFileSaveDialog::launch(Settings& owner)
{
    chooser = std::make_unique<juce::FileChooser>("Save MIDI File", suggested, "*.mid");
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
                         });
}

void MidiFileSaveDialog::showMessage(const juce::String& message)
{
    juce::AlertWindow::showMessageBoxAsync(juce::MessageBoxIconType::WarningIcon, "Save MIDI File", message);
}
