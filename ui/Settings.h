#pragma once

#include "ChordDescription.h"
#include "MidiEvent.h"
#include "NoteDetector.h"
#include "Observable.h"
#include "ParameterSettings.h"
#include "RecordingSummary.h"
#include "SimpleSparklerChecker.h"
#include "TakesState.h"
#include "UpdateFeedFetcher.h"

#include <juce_events/juce_events.h>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class MidiFileSaveDialog;
class MidiSondrelAudioUnit;

/// The plug-in's parameter set (one page parameter) and the window's live model.
///
/// Message thread. A 60 Hz poll reads the kernel's two change flags; when one was raised it
/// copies what the window shows (recording summaries, the selected recording's rows, held notes,
/// chord, scales) into observable values. The poll also hands what the render thread recorded
/// to its owner, so recordings stay current while no window is open.
class Settings final : public Wickerlamp::ParameterSettings {
public:
    static constexpr std::uint64_t mainModeAddress = 0;
    static constexpr int pollHz = 60;
    /// Where the update feed lives on the update server.
    static constexpr const char* updateFeedPath = "/midi_sondrel/midisondrel.xml";

    Settings();
    ~Settings() override;

    // --- observable state -------------------------------------------------------------
    Wickerlamp::Observable<std::optional<Wickerlamp::UpdateAvailableDetails>> updateDetails;
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
    /// 0 shows the events page, 1 the chord-and-scale page.
    const std::shared_ptr<Wickerlamp::AudioParameter> mainMode;

    /// Selects a recording by start time (or nothing) and loads its rows; any assignment,
    /// changed or not, reloads them.
    void selectRecording(std::optional<std::int64_t> startTime);

    // --- the poll ---------------------------------------------------------------------
    void configureAudioUnit(Wickerlamp::WickerAudioUnit& au) override;

    /// One tick: takes in what the render thread recorded, then exchanges the two flags and
    /// schedules refreshRecordings and refreshLiveState, in that order, for when they were raised.
    void pollKernel();
    void refreshRecordings(int count, MidiSondrelAudioUnit& au);
    void refreshLiveState(const Corvel::HeldNotes& flags, MidiSondrelAudioUnit& au, double duration, std::int64_t count);
    void loadEvents(const RecordingSummary& summary);

    bool isPolling() const { return pollTimer.isTimerRunning(); }
    /// Stops the timer; pollKernel can still be called by hand (an offline driver, a test).
    void stopPolling() { pollTimer.stopTimer(); }
    MidiSondrelAudioUnit* sondrelAU() const;

    // --- dialogs that outlive the card they were opened from ------------------------------
    /// Keeps a save dialog until it is let go (when it closes, or with the model).
    MidiFileSaveDialog& keepOpen(std::unique_ptr<MidiFileSaveDialog> dialog);
    void letGo(const MidiFileSaveDialog& dialog);
    std::size_t openDialogCount() const noexcept { return openDialogs.size(); }

    // --- the update feed --------------------------------------------------------------
    /// The server the feed is fetched from (scheme and host, no path). Set before the check runs.
    void setUpdateServer(juce::String base) { updateServer = std::move(base); }
    juce::URL updateFeedAddress() const;
    /// Fetches the feed in the background; sets updateDetails when it offers a newer version.
    void checkForUpdate();
    bool updateCheckFinished() const { return fetcher == nullptr || fetcher->isFinished(); }

private:
    struct PollTimer final : juce::Timer {
        Settings& owner;
        explicit PollTimer(Settings& s) : owner(s) {}
        void timerCallback() override { owner.pollKernel(); }
    };

    /// Runs `step` on the message thread later, if this model and the audio unit still exist.
    template <typename Step>
    void schedule(MidiSondrelAudioUnit& au, Step&& step);

    juce::WeakReference<Wickerlamp::WickerAudioUnit> polledUnit;
    PollTimer pollTimer{*this};
    Wickerlamp::Observable<std::optional<std::int64_t>> selection;
    juce::String updateServer;
    std::unique_ptr<Wickerlamp::UpdateFeedFetcher> fetcher;
    std::vector<std::unique_ptr<MidiFileSaveDialog>> openDialogs;
};
