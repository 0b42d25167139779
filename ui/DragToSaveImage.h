#pragma once

#include "ObservationScope.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

class MidiFileSaveDialog;
class Settings;

/// The icon on a recording's card. Dragging it out of the window writes the recording as a
/// Standard MIDI File to the temporary directory and hands that file to the drop target (our
/// own X drag source, XdndDrag: the file stays only if a target took it); the card's menu
/// offers the same file through a save dialog or the clipboard. Message thread.
///
/// A file is only ever offered when it was written in full from a recording that is still held:
/// otherwise no drag starts and the reason is printed ("Failed to save MIDI file: ...").
class DragToSaveImage final : public juce::Component {
public:
    DragToSaveImage(Settings& model, std::int64_t recordingStartTime, bool selected);

    void setSelected(bool selected);
    bool isSelected() const noexcept { return showsSelected; }
    juce::String imageName() const { return showsSelected ? "midi-icon-blue" : "midi-icon-grey"; }

    /// Why a take cannot be saved once it has dropped out of the recorder.
    static constexpr const char* notHeld = "the recording is no longer held (only the last five are kept)";

    /// "MIDI Sondrel 2024-03-05 14.07.09.mid" for that moment, in local time.
    static juce::String fileNameFor(juce::Time when);
    /// The file's URI, "file:///tmp/MIDI%20Sondrel%20...", percent-encoded as RFC 3986 asks.
    static juce::String fileUri(const juce::File& file);

    /// Writes the recording with that start time as `file`, replacing any file of that name.
    /// Prints "MIDI saved to: <path>" or "Failed to save MIDI file: <why>" and returns the
    /// written file, or nothing.
    static std::optional<juce::File> writeRecording(Settings& model, std::int64_t recordingStartTime,
                                                    const juce::File& file);
    /// Writes `bytes` as `file` in one piece (beside it first, then moved over it), printing
    /// "MIDI saved to: <path>" or "Failed to save MIDI file: <why>".
    static juce::Result writeMidiFile(std::span<const std::uint8_t> bytes, const juce::File& file);

    /// The file a drag or copy offers now: in the temporary directory, named for this moment.
    static juce::File temporaryFileForNow();

    /// Starts the external drag of `file`, just written; `isNew` when no file of that name was
    /// there before (separate so that tests can stop short of it).
    std::function<void(const juce::File& file, bool isNew)> startExternalDrag;
    /// The drag out of the window, as it starts unless replaced: our own X drag source. A new
    /// file is deleted if the drag cannot start or comes to nothing.
    static void dragOut(const juce::File& file, bool isNew);

    /// The card's menu: "Save MIDI File…" and "Copy MIDI File".
    void showMenu();
    /// Writes the file and offers it on the CLIPBOARD as file managers copy files: text/uri-list,
    /// x-special/gnome-copied-files and the path as UTF8_STRING; false when nothing was offered.
    bool copyToClipboard() const;
    /// Opens a save dialog for the recording as it is now, centred on the plug-in's window; it
    /// writes where the user chooses.
    void saveWithDialog();
    /// Shows a dialog that the model now keeps (separate so that tests can stop short of it).
    std::function<void(MidiFileSaveDialog&)> showDialog;

    // The same, for a take of a model, whether or not its card still exists.
    /// Writes the take as temporaryFileForNow().
    static std::optional<juce::File> writeFileForDrag(Settings& model, std::int64_t recordingStartTime);
    static bool copyToClipboard(Settings& model, std::int64_t recordingStartTime);
    static void saveWithDialog(Settings& model, std::int64_t recordingStartTime,
                               const std::function<void(MidiFileSaveDialog&)>& show, juce::Component* window = nullptr,
                               float scale = 1.0f);

    void paint(juce::Graphics& g) override;
    void mouseDown(const juce::MouseEvent& e) override;
    void mouseDrag(const juce::MouseEvent& e) override;
    void mouseUp(const juce::MouseEvent& e) override;

private:
    /// The plug-in's window (the editor) this card is shown in, or the top-level component.
    juce::Component* pluginWindow();
    void followDrag();

    Settings& settings;
    const std::int64_t startTime;
    bool showsSelected;
    bool dragStarted = false;
};
