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
/// Standard MIDI File to the temporary directory and hands that file to the drop target; the
/// card's menu offers the same file through a save dialog or the clipboard. Message thread.
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

    /// Writes the recording with that start time as `file`, replacing any file of that name.
    /// Prints "MIDI saved to: <path>" or "Failed to save MIDI file: <why>" and returns the
    /// written file, or nothing.
    static std::optional<juce::File> writeRecording(Settings& model, std::int64_t recordingStartTime, const juce::File& file);
    /// Writes `bytes` as `file` in one piece (beside it first, then moved over it), printing
    /// "MIDI saved to: <path>" or "Failed to save MIDI file: <why>".
    static juce::Result writeMidiFile(std::span<const std::uint8_t> bytes, const juce::File& file);

    /// The file a drag offers: written now, in the temporary directory, named for this moment.
    std::optional<juce::File> writeFileForDrag() const;

    /// Starts the external drag of `file` (separate so that tests can stop short of it).
    std::function<void(const juce::File&, juce::Component&)> startExternalDrag;

    /// The card's menu: "Save MIDI File…" and "Copy MIDI File".
    void showMenu();
    /// Places the file on the clipboard as a file URI list; false when nothing was written.
    bool copyToClipboard() const;
    /// Opens a save dialog for the recording as it is now; it writes where the user chooses.
    void saveWithDialog();
    /// Shows a dialog that the model now keeps (separate so that tests can stop short of it).
    std::function<void(MidiFileSaveDialog&)> showDialog;

    // The same, for a take of a model, whether or not its card still exists.
    static std::optional<juce::File> writeFileForDrag(Settings& model, std::int64_t recordingStartTime);
    static bool copyToClipboard(Settings& model, std::int64_t recordingStartTime);
    static void saveWithDialog(Settings& model, std::int64_t recordingStartTime,
                               const std::function<void(MidiFileSaveDialog&)>& show);

    void paint(juce::Graphics& g) override;
    void mouseDown(const juce::MouseEvent& e) override;
    void mouseDrag(const juce::MouseEvent& e) override;
    void mouseUp(const juce::MouseEvent& e) override;

private:
    Settings& settings;
    const std::int64_t startTime;
    bool showsSelected;
    bool dragStarted = false;
};
