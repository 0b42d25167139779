#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Settings;

/// "Save MIDI File…" for one take: a save dialog that holds the take's file as it was when the
/// user asked for it and writes it where the user confirms, whatever happened to the take (it
/// may have dropped out of the five) or to its card meanwhile. Its option "with tempo" (on to
/// start with) adds the take's tempo and a 4/4 time signature, so that players keep the speed;
/// without it the file is the one a drag gives. For a take captured while stopped whose tempo
/// was found, the dialog also offers that tempo: the file then places the events on its beats
/// (the first on bar 1, beat 1), with that tempo and 4/4; it is the choice to start with. A
/// failure is said in a message box and printed ("Failed to save MIDI file: ..."), a success
/// printed ("MIDI saved to: ...").
///
/// The dialog is a window of its own, JUCE's file browser under the window manager's title bar:
/// it opens centred on the plug-in's window at that window's scale, and is a transient dialog of
/// the plug-in window's top-level window (above the host, not above everything), and it does not
/// block the plug-in's window.
///
/// Message thread. The window's model keeps each open dialog until it closes.
class MidiFileSaveDialog {
public:
    /// A free take's file at the tempo found in it.
    struct AtDetectedTempo {
        double bpm = 0.0;
        std::vector<std::uint8_t> file;
    };

    /// The take's file without and with its tempo, and at the tempo found in it, if any.
    MidiFileSaveDialog(std::vector<std::uint8_t> plainFile, std::vector<std::uint8_t> fileWithTempo,
                       juce::File suggested, std::optional<AtDetectedTempo> detected = std::nullopt);
    ~MidiFileSaveDialog();

    /// A dialog for the take with that start time as it is now, or nothing (said and printed)
    /// when the take is no longer held.
    static std::unique_ptr<MidiFileSaveDialog> forRecording(Settings& model, std::int64_t recordingStartTime);

    const juce::File& suggestedFile() const noexcept { return suggested; }
    /// The dialog's option "with tempo" (the host's tempo, as recorded).
    bool withTempo = true;
    /// The tempo found in a free take, if any, and whether the file is placed at it.
    std::optional<double> detectedTempo() const { return detected ? std::optional(detected->bpm) : std::nullopt; }
    bool atDetectedTempo = false;

    /// Writes the file (with or without the tempo, as the option says) as `target`, with the
    /// extension .mid. True when it was written; otherwise the reason goes to `tell`.
    bool confirm(const juce::File& target);

    /// The window the dialog opens centred on (the plug-in's window), and the scale it is shown
    /// at (the plug-in window's, from JUCE's approximate scale factor of a component in it).
    juce::Component::SafePointer<juce::Component> centreAround;
    float scale = 1.0f;

    /// Shows the dialog; once it is closed, `owner` lets it go (on a later turn of the loop).
    void launch(Settings& owner);
    /// The dialog's window while it is shown.
    juce::DocumentWindow* window() const noexcept;

    /// How a failure is said; a message box (over the dialog while it is shown) unless replaced.
    std::function<void(const juce::String& message)> tell = [this](const juce::String& message) {
        showMessage(message, window());
    };
    static void showMessage(const juce::String& message, juce::Component* over = nullptr);

private:
    class TempoOption;
    class Window;

    const std::vector<std::uint8_t> plain;
    const std::vector<std::uint8_t> tempo;
    const juce::File suggested;
    const std::optional<AtDetectedTempo> detected;
    std::unique_ptr<Window> shown;
};
