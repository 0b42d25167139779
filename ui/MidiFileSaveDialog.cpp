#include "MidiFileSaveDialog.h"

#include "DragToSaveImage.h"
#include "MidiFileWriter.h"
#include "MidiSondrelAudioUnit.h"
#include "RecordingSummaryRow.h"
#include "Settings.h"
#include "TempoDetector.h"
#include "X11Connection.h"

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
        if (const auto bpm = dialog.detectedTempo()) {
            // A free take: the host's tempo as recorded, or the one found in what was played.
            detected.setButtonText("at the tempo played, " + RecordingSummaryRow::tempoText(*bpm));
            detected.setTooltip("The notes on the beats of the tempo found in the take, the first on bar 1, with that "
                                "tempo and a 4/4 time signature");
            for (auto* choice : {&recorded, &detected}) {
                choice->setRadioGroupId(1);
                choice->onClick = [this] { choose(detected.getToggleState()); };
                addAndMakeVisible(*choice);
            }
            (dialog.atDetectedTempo ? detected : recorded).setToggleState(true, juce::dontSendNotification);
            choose(dialog.atDetectedTempo);
        }
        setSize(dialog.detectedTempo() ? 220 : 140, dialog.detectedTempo() ? 100 : 60);
    }

    void selectedFileChanged(const juce::File&) override {}
    void resized() override
    {
        auto area = getLocalBounds().reduced(4, 0);
        if (dialog.detectedTempo()) {
            recorded.setBounds(area.removeFromTop(28));
            toggle.setBounds(area.removeFromTop(28).withTrimmedLeft(24));
            detected.setBounds(area.removeFromTop(28));
        } else {
            toggle.setBounds(area.removeFromTop(28));
        }
    }

private:
    void choose(bool atDetected)
    {
        dialog.atDetectedTempo = atDetected;
        toggle.setEnabled(!atDetected);  // "with tempo" is about the host's tempo
    }

    MidiFileSaveDialog& dialog;
    juce::ToggleButton toggle{"with tempo"};
    juce::ToggleButton recorded{"as recorded"};
    juce::ToggleButton detected;
};

/// The dialog's window: JUCE's file browser with the option beside it and Save and Cancel below,
/// under the window manager's own title bar.
class MidiFileSaveDialog::Window final : public juce::DocumentWindow, private juce::FileBrowserListener {
public:
    Window(MidiFileSaveDialog& d, juce::Component* anchor, std::function<void()> whenClosed)
        : juce::DocumentWindow("Save MIDI File", juce::Colours::lightgrey, juce::DocumentWindow::closeButton, false),
          dialog(d), option(d), closed(std::move(whenClosed))
    {
        setBackgroundColour(getLookAndFeel().findColour(juce::ResizableWindow::backgroundColourId));
        body.addAndMakeVisible(browser);
        for (auto* button : {&save, &cancel, &newFolder})
            body.addAndMakeVisible(button);
        save.addShortcut(juce::KeyPress(juce::KeyPress::returnKey));
        cancel.addShortcut(juce::KeyPress(juce::KeyPress::escapeKey));
        save.onClick = [this] { saveChosenFile(); };
        cancel.onClick = [this] { closeButtonPressed(); };
        newFolder.onClick = [this] { askForNewFolder(); };
        browser.addListener(this);
        selectionChanged();
        body.layout = [this] {
            auto area = body.getLocalBounds();
            auto buttons = area.removeFromBottom(46).reduced(16, 10);
            for (auto* button : {&save, &cancel}) {
                button->changeWidthToFitText(buttons.getHeight());
                button->setBounds(buttons.removeFromRight(button->getWidth()));
                buttons.removeFromRight(16);
            }
            newFolder.changeWidthToFitText(buttons.getHeight());
            newFolder.setBounds(buttons.removeFromLeft(newFolder.getWidth()));
            browser.setBounds(area.reduced(6, 6));
        };
        body.setSize(600, 500);  // the option takes a third of the browser's width

        setUsingNativeTitleBar(true);
        setContentNonOwned(&body, true);
        setResizable(true, false);
        setResizeLimits(300, 300, 1600, 1200);
        addToDesktop();
        juce::BorderSize<int> frame;
        if (auto* x = X11Connection::get(); x != nullptr && anchor != nullptr && anchor->getPeer() != nullptr) {
            // A round trip on JUCE's connection (it asks who has the focus), so that what JUCE
            // wrote on the new window reaches the server before what ours writes over it.
            getPeer()->isFocused();
            frame = x->makeDialogOf(reinterpret_cast<X11Connection::XWindow>(getPeer()->getNativeHandle()),
                                    reinterpret_cast<X11Connection::XWindow>(anchor->getPeer()->getNativeHandle()));
        }
        // The frame, title bar included, is centred on the plug-in's window, and the window goes
        // inside it (JUCE places a window by its inside once it knows the frame).
        const auto width = getWidth(), height = getHeight();
        const auto inUnits = [units = getDesktopScaleFactor()](int pixels) {
            return juce::roundToInt(static_cast<float>(pixels) / units);
        };
        centreAroundComponent(anchor, width + inUnits(frame.getLeftAndRight()),
                              height + inUnits(frame.getTopAndBottom()));
        setBounds(getX() + inUnits(frame.getLeft()), getY() + inUnits(frame.getTop()), width, height);
        setVisible(true);
        toFront(true);
    }

    ~Window() override { browser.removeListener(this); }

    /// The plug-in window's scale, whatever scales it (the host, the plug-in's own zoom).
    float getDesktopScaleFactor() const override
    {
        return dialog.scale * juce::Desktop::getInstance().getGlobalScaleFactor();
    }

    void closeButtonPressed() override
    {
        if (!isVisible())
            return;  // closed once already
        setVisible(false);
        closed();
    }

private:
    struct Body final : juce::Component {
        std::function<void()> layout;
        void resized() override { layout(); }
    };

    void saveChosenFile()
    {
        if (!browser.currentFileIsValid())
            return;
        const auto target = browser.getSelectedFile(0).withFileExtension("mid");
        if (!target.exists())
            return write(target);
        const auto overwrite = [self = SafePointer<Window>(this), target](int result) {
            if (result != 0 && self != nullptr)
                self->write(target);
        };
        juce::AlertWindow::showOkCancelBox(juce::MessageBoxIconType::WarningIcon, "File already exists",
                                           "There's already a file called: " + target.getFullPathName()
                                               + "\n\nAre you sure you want to overwrite it?",
                                           "Overwrite", "Cancel", this, juce::ModalCallbackFunction::create(overwrite));
    }

    void askForNewFolder()
    {
        // Kept by the window, so that it goes with it.
        folderName = std::make_unique<juce::AlertWindow>("New Folder", "Please enter the name for the folder",
                                                         juce::MessageBoxIconType::NoIcon, this);
        folderName->addTextEditor("name", {});
        folderName->addButton("Create Folder", 1, juce::KeyPress(juce::KeyPress::returnKey));
        folderName->addButton("Cancel", 0, juce::KeyPress(juce::KeyPress::escapeKey));
        folderName->enterModalState(
            true, juce::ModalCallbackFunction::create([self = SafePointer<Window>(this)](int result) {
                if (self == nullptr)
                    return;
                self->folderName->setVisible(false);
                if (result == 0)
                    return;
                const auto name = juce::File::createLegalFileName(self->folderName->getTextEditorContents("name"));
                if (name.isNotEmpty() && self->browser.getRoot().getChildFile(name).createDirectory().failed())
                    MidiFileSaveDialog::showMessage("Could not create the folder " + name, self.getComponent());
                self->browser.refresh();
            }));
    }

    void write(const juce::File& target)
    {
        // A failure is said and the dialog stays, for another place or name.
        if (dialog.confirm(target))
            closeButtonPressed();
    }

    void selectionChanged() override { save.setEnabled(browser.currentFileIsValid()); }
    void fileClicked(const juce::File&, const juce::MouseEvent&) override {}
    void fileDoubleClicked(const juce::File&) override { saveChosenFile(); }
    void browserRootChanged(const juce::File&) override {}

    MidiFileSaveDialog& dialog;
    TempoOption option;
    const juce::WildcardFileFilter filter{"*.mid", "*", "MIDI files"};
    juce::FileBrowserComponent browser{juce::FileBrowserComponent::saveMode
                                           | juce::FileBrowserComponent::canSelectFiles,
                                       dialog.suggested, &filter, &option};
    juce::TextButton save{"Save"}, cancel{"Cancel"}, newFolder{"New Folder"};
    std::unique_ptr<juce::AlertWindow> folderName;
    Body body;
    const std::function<void()> closed;
};

MidiFileSaveDialog::MidiFileSaveDialog(std::vector<std::uint8_t> plainFile, std::vector<std::uint8_t> fileWithTempo,
                                       juce::File suggestedFile, std::optional<AtDetectedTempo> atDetected)
    : atDetectedTempo(atDetected.has_value()), plain(std::move(plainFile)), tempo(std::move(fileWithTempo)),
      suggested(std::move(suggestedFile)), detected(std::move(atDetected))
{}

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
    std::optional<AtDetectedTempo> detected;
    if (take->capturedWhileStopped)
        if (const auto found = Corvel::TempoDetector::estimate(*take))
            detected = AtDetectedTempo{found->bpm,
                                       Corvel::MidiFileWriter::writeOnGrid(
                                           take->events, {found->bpm, found->firstBeatSampleTime, take->sampleRate})};
    return std::make_unique<MidiFileSaveDialog>(Corvel::MidiFileWriter::write(take->events),
                                                Corvel::MidiFileWriter::write(take->events, {.withTempo = true}),
                                                suggested, std::move(detected));
}

bool MidiFileSaveDialog::confirm(const juce::File& target)
{
    const auto& file = atDetectedTempo && detected ? detected->file : withTempo ? tempo : plain;
    const auto result = DragToSaveImage::writeMidiFile(file, target.withFileExtension("mid"));
    if (result.failed())
        tell("Failed to save MIDI file: " + result.getErrorMessage());
    return result.wasOk();
}

void MidiFileSaveDialog::launch(Settings& owner)
{
    const juce::WeakReference<Wickerlamp::ParameterSettings> model(&owner);
    shown = std::make_unique<Window>(*this, centreAround, [this, model] {
        // Not from inside the window's own callback: letting go deletes the window.
        juce::MessageManager::callAsync([model, self = this] {
            if (auto* settings = dynamic_cast<Settings*>(model.get()))
                settings->letGo(*self);
        });
    });
}

juce::DocumentWindow* MidiFileSaveDialog::window() const noexcept { return shown.get(); }

void MidiFileSaveDialog::showMessage(const juce::String& message, juce::Component* over)
{
    juce::AlertWindow::showMessageBoxAsync(juce::MessageBoxIconType::WarningIcon, "Save MIDI File", message, {}, over);
}
