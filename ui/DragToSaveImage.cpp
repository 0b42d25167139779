#include "DragToSaveImage.h"

#include "Assets.h"
#include "MidiFileSaveDialog.h"
#include "MidiSondrelAudioUnit.h"
#include "Settings.h"
#include "X11Connection.h"
#include "XdndDrag.h"

#include <iostream>
#include <string_view>

namespace {

void report(const juce::String& line) { std::cout << line << std::endl; }

std::optional<juce::File> failed(const juce::String& why)
{
    report("Failed to save MIDI file: " + why);
    return std::nullopt;
}

}  // namespace

DragToSaveImage::DragToSaveImage(Settings& model, std::int64_t recordingStartTime, bool selected)
    : startExternalDrag(dragOut), showDialog([owner = &model](MidiFileSaveDialog& dialog) { dialog.launch(*owner); }),
      settings(model), startTime(recordingStartTime), showsSelected(selected)
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

juce::String DragToSaveImage::fileUri(const juce::File& file)
{
    // RFC 3986: a path keeps its unreserved characters and slashes; every other byte of its
    // UTF-8 form is written as %XX.
    static constexpr char hex[] = "0123456789ABCDEF";
    const auto kept = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || std::string_view("-._~/").find(c) != std::string_view::npos;
    };
    std::string uri = "file://";
    for (const char byte : file.getFullPathName().toStdString()) {
        const auto c = static_cast<unsigned char>(byte);
        if (kept(byte))
            uri += byte;
        else
            uri += {'%', hex[c >> 4], hex[c & 15]};
    }
    return juce::String::fromUTF8(uri.data(), static_cast<int>(uri.size()));
}

void DragToSaveImage::dragOut(const juce::File& file, bool isNew)
{
    // Our own drag source: JUCE's offers the path unencoded, with no line end, and leaves the
    // file behind whatever becomes of the drag.
    auto* x = X11Connection::get();
    if (x != nullptr && x->startDrag(file, (fileUri(file) + "\r\n").toStdString(), isNew))
        return;
    if (isNew)
        file.deleteFile();
    report("Could not start the drag of " + file.getFullPathName());
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

juce::File DragToSaveImage::temporaryFileForNow()
{
    return juce::File::getSpecialLocation(juce::File::tempDirectory)
        .getChildFile(fileNameFor(juce::Time::getCurrentTime()));
}

std::optional<juce::File> DragToSaveImage::writeFileForDrag(Settings& model, std::int64_t recordingStartTime)
{
    return writeRecording(model, recordingStartTime, temporaryFileForNow());
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
    if (dragStarted) {
        followDrag();
        return;
    }
    if (e.mods.isPopupMenu() || e.getDistanceFromDragStart() < 4)
        return;
    dragStarted = true;
    // A drag that comes to nothing deletes its file, unless an earlier drag or copy in the same
    // second left one of that name (which this one then replaced, as it always did).
    const auto file = temporaryFileForNow();
    const bool isNew = !file.exists();
    if (writeRecording(settings, startTime, file))
        startExternalDrag(file, isNew);
}

void DragToSaveImage::followDrag()
{
    // The drag follows the pointer by itself as well; this only makes it prompt.
    if (auto* x = X11Connection::getInstanceWithoutCreating(); x != nullptr && x->drag() != nullptr)
        x->drag()->update();
}

void DragToSaveImage::mouseUp(const juce::MouseEvent& e)
{
    if (dragStarted)
        followDrag();
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
    // The menu and the dialog take the card's scale (whatever scales the window, the host or
    // the plug-in's own zoom); the dialog is centred on the plug-in's window.
    const juce::Component::SafePointer<juce::Component> window(pluginWindow());
    const auto scale = getApproximateScaleFactorForComponent(this);
    const auto modelOf = [](const juce::WeakReference<Wickerlamp::ParameterSettings>& m) {
        return dynamic_cast<Settings*>(m.get());
    };
    juce::PopupMenu menu;
    menu.addItem(juce::CharPointer_UTF8("Save MIDI File\xe2\x80\xa6"), [=, take = startTime, show = showDialog] {
        if (auto* s = modelOf(model))
            saveWithDialog(*s, take, show, window, scale);
    });
    menu.addItem("Copy MIDI File", [=, take = startTime] {
        if (auto* s = modelOf(model))
            copyToClipboard(*s, take);
    });
    // Its target is the one the card sits in, which stays when a new take replaces the cards
    // (a menu closes with its target); the card's place is where it opens.
    auto* cards = getParentComponent() != nullptr ? getParentComponent()->getParentComponent() : nullptr;
    menu.showMenuAsync(juce::PopupMenu::Options()
                           .withTargetComponent(cards != nullptr ? cards : this)
                           .withTargetScreenArea(getScreenBounds()));
}

bool DragToSaveImage::copyToClipboard() const { return copyToClipboard(settings, startTime); }

bool DragToSaveImage::copyToClipboard(Settings& model, std::int64_t recordingStartTime)
{
    const auto file = writeFileForDrag(model, recordingStartTime);
    if (!file)
        return false;
    // As file managers copy files: the URI list (CRLF-ended lines), GNOME's own form, and the
    // path as text. Served from our connection until another client takes the clipboard.
    auto* x = X11Connection::get();
    const auto uri = fileUri(*file).toStdString();
    if (x != nullptr
        && x->own(x->atom("CLIPBOARD"),
                  {{"text/uri-list", uri + "\r\n"},
                   {"x-special/gnome-copied-files", "copy\n" + uri},
                   {"UTF8_STRING", file->getFullPathName().toStdString()}},
                  x->serverTime()))
        return true;
    report("Could not copy the MIDI file: the clipboard is not available");
    return false;
}

void DragToSaveImage::saveWithDialog()
{
    saveWithDialog(settings, startTime, showDialog, pluginWindow(), getApproximateScaleFactorForComponent(this));
}

juce::Component* DragToSaveImage::pluginWindow()
{
    auto* window = findParentComponentOfClass<juce::AudioProcessorEditor>();
    return window != nullptr ? window : getTopLevelComponent();
}

void DragToSaveImage::saveWithDialog(Settings& model, std::int64_t recordingStartTime,
                                     const std::function<void(MidiFileSaveDialog&)>& show, juce::Component* window,
                                     float scale)
{
    // The dialog holds the take as it is now and belongs to the model.
    if (auto dialog = MidiFileSaveDialog::forRecording(model, recordingStartTime)) {
        dialog->centreAround = window;
        dialog->scale = scale;
        show(model.keepOpen(std::move(dialog)));
    }
}
