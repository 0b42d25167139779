#pragma once

#include "ChordDescription.h"
#include "MidiEvent.h"
#include "NoteDetector.h"
#include "Observable.h"
#include "RecordingSummary.h"
#include "TakesState.h"

#include <juce_events/juce_events.h>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace Wickerlamp {
class ParameterSettings;
class WickerAudioUnit;
}
class MidiSondrelAudioUnit;

/// What the window shows of the running kernel: the recordings, the selected one's rows, the
/// held notes with their chord and scales, and the audio unit's window state (what the last save
/// kept of the takes, the zoom).
///
/// Message thread. A 60 Hz poll exchanges the kernel's two change flags; each tick reads the
/// recordings under one lock (which also hands the render thread's queue to its owner, so the
/// recordings stay current while no window is open), and everything about the held notes comes
/// from one copy of the held-note flags, so the keyboard, the chord, the notes and the scales
/// always agree. The tempo of a take captured while stopped is found here, a few times a second
/// while it grows: its note-ons are copied under the tick's lock and looked at outside it.
class LiveViewModel {
public:
    static constexpr int pollHz = 60;

    /// `parameterSet` is the parameter set whose audio unit the rows are read from.
    explicit LiveViewModel(const Wickerlamp::ParameterSettings& parameterSet);
    ~LiveViewModel();

    // --- observable state -------------------------------------------------------------
    Wickerlamp::Observable<std::optional<Corvel::ChordDescription>> currentChord;
    Wickerlamp::Observable<std::vector<Corvel::FullNote>> currentNotes;
    Wickerlamp::Observable<std::vector<Corvel::Scale>> currentScales;
    Wickerlamp::Observable<Corvel::HeldNotes> onNotes;
    /// The start time of the selected recording. Assign through selectRecording.
    const Wickerlamp::Observable<std::optional<std::int64_t>>& selectedRecordingSummaryID() const { return selection; }
    Wickerlamp::Observable<MidiEventRows> selectedRecordingEvents;
    RecordingInfo recordingInfo;
    /// What the plug-in's last saved state kept of the takes ("Keep takes with the project").
    Wickerlamp::Observable<TakesState::Saved> savedTakes;
    /// What the empty events page says while the transport runs and nothing was recorded yet,
    /// set by a host that knows where MIDI can come from (the standalone app); empty for the
    /// usual "PRESS PLAY".
    Wickerlamp::Observable<juce::String> idleHint;
    /// The window's zoom (1 is 640 x 474), as the audio unit keeps it with the project.
    Wickerlamp::Observable<float> zoom{1.0f};

    /// The user chose a zoom: the audio unit keeps it (the host is told its state changed) and
    /// the window takes its size, also when the zoom was already this one.
    void chooseZoom(float newZoom);

    /// Selects a recording by start time (or nothing) and loads its rows; any assignment,
    /// changed or not, reloads them.
    void selectRecording(std::optional<std::int64_t> startTime);

    // --- the poll ---------------------------------------------------------------------
    /// Polls this audio unit from now on (held weakly), at 60 Hz.
    void connect(MidiSondrelAudioUnit& au);
    /// One tick: exchanges the two flags, reads the recordings once, then refreshes the list
    /// and the live state for the flags that were raised.
    void pollKernel();
    /// The held notes, chord, notes and scales from one copy of the held-note flags; the live
    /// recording's count and duration when the transport runs (duration > 0, count >= 1).
    void refreshLiveState(const Corvel::HeldNotes& flags, MidiSondrelAudioUnit& au, double duration,
                          std::int64_t count);
    /// Loads the rows of one recording (one read of the recordings).
    void loadEvents(const RecordingSummary& summary);

    bool isPolling() const { return pollTimer.isTimerRunning(); }
    /// Stops the timer; pollKernel can still be called by hand (an offline driver, a test).
    void stopPolling() { pollTimer.stopTimer(); }
    MidiSondrelAudioUnit* sondrelAU() const;

private:
    struct PollTimer final : juce::Timer {
        LiveViewModel& owner;
        explicit PollTimer(LiveViewModel& m) : owner(m) {}
        void timerCallback() override { owner.pollKernel(); }
    };
    struct TickRead;
    /// What was last found of a free take's tempo, and at how many events.
    struct FoundTempo {
        std::uint64_t eventCount = 0;
        std::optional<double> bpm;
    };

    /// Whether rows may be read for the audio unit: the parameter set is connected to it.
    bool readsRowsFrom(const MidiSondrelAudioUnit& au) const;
    void refreshRecordings(std::vector<Corvel::EventSummary> summaries);

    void applyFoundTempi();

    const Wickerlamp::ParameterSettings& parameters;
    /// Free takes' tempi by start time; looked at again at most tempoLooksPerSecond times a second
    /// while a take grows.
    static constexpr int tempoLooksPerSecond = 4;
    std::map<std::int64_t, FoundTempo> foundTempi;
    juce::uint32 lastTempoLook = 0;
    juce::WeakReference<Wickerlamp::WickerAudioUnit> polledUnit;
    PollTimer pollTimer{*this};
    Wickerlamp::Observable<std::optional<std::int64_t>> selection;
};
