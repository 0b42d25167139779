#include "DragToSaveImage.h"

#include "Assets.h"
#include "MidiFileSaveDialog.h"
#include "MidiSondrelAudioUnit.h"
#include "Settings.h"

#include <iostream>

namespace {

void report(const juce::String& line)
{
    std::cout << line << std::endl;
}

std::optional<juce::File> failed(const juce::String& why)
{
    report("Failed to save MIDI file: " + why);
    return std::nullopt;
}

} // namespace

DragToSaveImage::DragToSaveImage(Settings& model, std::int64_t recordingStartTime, bool selected)
    : startExternalDrag([](const juce::File& file, juce::Component& source) {
          juce::DragAndDropContainer::performExternalDragDropOfFiles({file.getFullPathName()}, false, &source);
      }),
      showDialog([owner = &model](MidiFileSaveDialog& dialog) { dialog.launch(*owner); }), settings(model), startTime(recordingStartTime),
      showsSelected(selected)
{
    setMouseCursor(juce::MouseCursor::DraggingHandCursor);
    setTitle("Drag to save as MIDI file");
}

void DragToSaveImage::setSelected(bool selected)
{
    if (selected != showsSelected) {
        showsSelected = selected;
        repaint();
    }
}

juce::String DragToSaveImage::fileNameFor(juce::Time when)
{
    return "MIDI Sondrel " + when.formatted("%Y-%m-%d %H.%M.%S") + ".mid";
}

std::optional<juce::File> DragToSaveImage::writeRecording(Settings& model, std::int64_t recordingStartTime,
                                                         const juce::File& file)
{
    auto* au = model.sondrelAU();
    if (au == nullptr)
        return failed("the plug-in is no longer running");
    const auto bytes = au->kernel().midiRecorder->midiFileForRecording(recordingStartTime);
    if (!bytes)
        return failed(notHeld);
    if (writeMidiFile(*bytes, file).failed())
        return std::nullopt;
    return file;
}

juce::Result DragToSaveImage::writeMidiFile(std::span<const std::uint8_t> bytes, const juce::File& file)
{
    const auto fail = [](const juce::String& why) {
        failed(why);
        return juce::Result::fail(why);
    };
    const auto made = file.getParentDirectory().createDirectory();
    if (made.failed())
        return fail(made.getErrorMessage());
    // Written beside the target and moved over it, so a drop never sees half a file.
    juce::TemporaryFile temporary(file);
    {
        juce::FileOutputStream out(temporary.getFile());
        if (out.failedToOpen())
            return fail(out.getStatus().getErrorMessage());
        if (!out.write(bytes.data(), bytes.size()) || (out.flush(), out.getStatus().failed()))
            return fail(out.getStatus().failed() ? out.getStatus().getErrorMessage()
                                                 : juce::String("could not write ") + file.getFullPathName());
    }
    if (!temporary.overwriteTargetFileWithTemporary())
        return fail("could not replace " + file.getFullPathName());
    report("MIDI saved to: " + file.getFullPathName());
    return juce::Result::ok();
}

std::optional<juce::File> DragToSaveImage::writeFileForDrag() const
{
    return writeFileForDrag(settings, startTime);
}

std::optional<juce::File> DragToSaveImage::writeFileForDrag(Settings& model, std::int64_t recordingStartTime)
{
    const auto directory = juce::File::getSpecialLocation(juce::File::tempDirectory);
    return writeRecording(model, recordingStartTime, directory.getChildFile(fileNameFor(juce::Time::getCurrentTime())));
}

void DragToSaveImage::paint(juce::Graphics& g)
{
    if (auto icon = pluginAssets().image(imageName()))
        icon->drawWithin(g, getLocalBounds().toFloat(), juce::RectanglePlacement::centred, 1.0f);
}

void DragToSaveImage::mouseDown(const juce::MouseEvent& e)
{
    dragStarted = false;
    if (e.mods.isPopupMenu())
        showMenu();
}

void DragToSaveImage::mouseDrag(const juce::MouseEvent& e)
{
    if (dragStarted || e.mods.isPopupMenu() || e.getDistanceFromDragStart() < 4)
        return;
    dragStarted = true;
    if (const auto file = writeFileForDrag())
        startExternalDrag(*file, *this);
}

void DragToSaveImage::mouseUp(const juce::MouseEvent& e)
{
    // A click without a drag selects the card, as a click anywhere else on it does.
    if (!dragStarted && !e.mods.isPopupMenu())
        if (auto* card = getParentComponent())
            card->mouseUp(e.getEventRelativeTo(card));
    dragStarted = false;
}

void DragToSaveImage::showMenu()
{
    // Neither the menu nor what it starts depends on this card: a new take replaces the cards,
    // which would close a menu shown for one, and the take may drop out before the user is done.
    const juce::WeakReference<Wickerlamp::ParameterSettings> model(&settings);
    const auto modelOf = [](const juce::WeakReference<Wickerlamp::ParameterSettings>& m) {
        return dynamic_cast<Settings*>(m.get());
    };
    juce::PopupMenu menu;
    menu.addItem(juce::CharPointer_UTF8("Save MIDI File\xe2\x80\xa6"), [=, take = startTime, show = showDialog] {
        if (auto* s = modelOf(model))
            saveWithDialog(*s, take, show);
    });
    menu.addItem("Copy MIDI File", [=, take = startTime] {
        if (auto* s = modelOf(model))
            copyToClipboard(*s, take);
    });
    menu.showMenuAsync(juce::PopupMenu::Options().withTargetScreenArea(getScreenBounds()));
}

bool DragToSaveImage::copyToClipboard() const
{
    return copyToClipboard(settings, startTime);
}

bool DragToSaveImage::copyToClipboard(Settings& model, std::int64_t recordingStartTime)
{
    const auto file = writeFileForDrag(model, recordingStartTime);
    if (!file)
        return false;
    // The text/uri-list form: one URI per line, CRLF-terminated.
    juce::SystemClipboard::copyTextToClipboard(juce::URL(*file).toString(false) + "\r\n");
    return true;
}

void DragToSaveImage::saveWithDialog()
{
    saveWithDialog(settings, startTime, showDialog);
}

void DragToSaveImage::saveWithDialog(Settings& model, std::int64_t recordingStartTime,
                                     const std::function<void(MidiFileSaveDialog&)>& show)
{
    // The dialog holds the take as it is now and belongs to the model.
    if (auto dialog = MidiFileSaveDialog::forRecording(model, recordingStartTime))
        show(model.keepOpen(std::move(dialog)));
}
