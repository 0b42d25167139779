#include "Settings.h"

#include "MidiFileSaveDialog.h"
#include "MidiSondrelAudioUnit.h"

#include <bit>

#ifndef SONDREL_UPDATE_SERVER
#define SONDREL_UPDATE_SERVER "https://updates.corvel.invalid"
#endif

namespace {

std::shared_ptr<Wickerlamp::AudioParameter> makeMainMode()
{
    return std::make_shared<Wickerlamp::AudioParameter>(
        Settings::mainModeAddress, "mainMode", "Main Tab", Wickerlamp::ParameterUnit::indexed, 0.0f, 1.0f, 0.0f,
        juce::StringArray{"Events", "Chord And Scale"});
}

MidiEvent rowFor(const Corvel::EventList& events, std::size_t i)
{
    const auto info = Corvel::MIDIRecorder::infoForEvent(events[i]);
    return {static_cast<std::int64_t>(i), events.sampleTimeAt(i), events.beatPositionAt(i), info.type, info.channel,
            MidiEvent::noteText(info.data1), info.data2};
}

std::vector<MidiEvent> rowsFor(const Corvel::EventList& events, std::size_t from)
{
    std::vector<MidiEvent> rows;
    rows.reserve(events.size() - from);
    for (std::size_t i = from; i < events.size(); ++i)
        rows.push_back(rowFor(events, i));
    return rows;
}

/// Whether `rows` are a prefix of the recording's events, checked at the last row (the rows of a
/// recording only ever grow at the end while it is live).
bool rowsArePrefixOf(const MidiEventRows& rows, std::int64_t startTime, const Corvel::EventList& events)
{
    if (rows.empty() || rows.recordingStartTime() != startTime || rows.size() > events.size())
        return false;
    const auto i = rows.size() - 1;
    return rows[i].time == events.sampleTimeAt(i)
        && std::bit_cast<std::uint64_t>(rows[i].beatPosition) == std::bit_cast<std::uint64_t>(events.beatPositionAt(i));
}

} // namespace

Settings::Settings() : mainMode(makeMainMode()), updateServer(SONDREL_UPDATE_SERVER)
{
    setupParameters({mainMode});
}

Settings::~Settings()
{
    pollTimer.stopTimer();
}

MidiSondrelAudioUnit* Settings::sondrelAU() const
{
    return dynamic_cast<MidiSondrelAudioUnit*>(polledUnit.get());
}

void Settings::configureAudioUnit(Wickerlamp::WickerAudioUnit& au)
{
    ParameterSettings::configureAudioUnit(au);
    if (dynamic_cast<MidiSondrelAudioUnit*>(&au) == nullptr)
        return;
    polledUnit = &au;
    pollTimer.stopTimer();
    pollTimer.startTimerHz(pollHz);
    juce::MessageManager::callAsync([self = juce::WeakReference<Wickerlamp::ParameterSettings>(this)] {
        if (auto* settings = dynamic_cast<Settings*>(self.get()))
            settings->checkForUpdate();
    });
}

template <typename Step>
void Settings::schedule(MidiSondrelAudioUnit& au, Step&& step)
{
    juce::MessageManager::callAsync([self = juce::WeakReference<Wickerlamp::ParameterSettings>(this),
                                     unit = juce::WeakReference<Wickerlamp::WickerAudioUnit>(&au),
                                     step = std::forward<Step>(step)]() mutable {
        auto* settings = dynamic_cast<Settings*>(self.get());
        auto* sondrel = dynamic_cast<MidiSondrelAudioUnit*>(unit.get());
        if (settings != nullptr && sondrel != nullptr)
            step(*settings, *sondrel);
    });
}

void Settings::pollKernel()
{
    auto* au = sondrelAU();
    if (au == nullptr)
        return;
    auto& kernel = au->kernel();
    // Keeps the render thread's queue short even while no window is open.
    kernel.midiRecorder->drain();
    savedTakes.set(au->lastSavedTakes());

    const bool parameterSetHasUnit = audioUnit() == au;
    if (kernel.recordingsChanged.exchange(0, std::memory_order_acquire) != 0) {
        const int count = static_cast<int>(kernel.savedRecordingCount.load(std::memory_order_relaxed));
        if (parameterSetHasUnit)
            schedule(*au, [count](Settings& s, MidiSondrelAudioUnit& unit) { s.refreshRecordings(count, unit); });
    }
    if (kernel.liveRecordingChanged.exchange(0, std::memory_order_acquire) != 0) {
        const std::int64_t count = kernel.liveEventCount.load(std::memory_order_relaxed);
        const double duration = kernel.liveDuration();
        const auto flags = kernel.noteDetector->getOnNotes();
        schedule(*au, [flags, duration, count](Settings& s, MidiSondrelAudioUnit& unit) {
            s.refreshLiveState(flags, unit, duration, count);
        });
    }
}

void Settings::refreshRecordings(int count, MidiSondrelAudioUnit& au)
{
    auto& store = *au.kernel().midiRecorder;
    RecordingSummaries list;
    for (int i = 0; i < count; ++i) {
        const auto summary = store.getEventSummary(i);
        list.push_back(std::make_shared<RecordingSummary>(i, summary.startTime,
                                                          static_cast<std::int64_t>(summary.eventCount), summary.duration));
    }
    recordingInfo.summaries.set(std::move(list));

    // The selection follows the newest recording.
    const auto& summaries = recordingInfo.summaries.peek();
    if (summaries.empty() && !selection.peek())
        return;
    if (!summaries.empty() && selection.peek() == summaries.front()->originalStartTime)
        return;
    selectRecording(summaries.empty() ? std::nullopt : std::optional(summaries.front()->originalStartTime));
}

void Settings::refreshLiveState(const Corvel::HeldNotes& flags, MidiSondrelAudioUnit& au, double duration,
                                std::int64_t count)
{
    auto& kernel = au.kernel();
    onNotes.set(flags);
    currentChord.set(Corvel::describeCurrentChord(kernel));
    currentNotes.set(Corvel::heldFullNotes(kernel));
    currentScales.set(au.currentScalesForDisplay());

    const auto& summaries = recordingInfo.summaries.peek();
    if (summaries.empty())
        return;
    // While stopped the kernel publishes -1.0 and -1: the live recording is left as it was.
    if (!(duration > 0.0 && count >= 1))
        return;
    const auto live = summaries.front();
    live->duration.set(duration);
    live->noteCount.set(count);
    if (selection.peek() == live->originalStartTime)
        loadEvents(*live);
}

void Settings::loadEvents(const RecordingSummary& summary)
{
    auto* au = sondrelAU();
    if (au == nullptr || audioUnit() != au)
        return;
    const auto startTime = summary.originalStartTime;
    auto rows = au->kernel().midiRecorder->read([&](const Corvel::MIDIRecorder& recorder) {
        const auto* recording = recorder.getEventDetailsByStartTime(startTime);
        if (recording == nullptr)
            return MidiEventRows::forRecording(startTime, {});
        const auto& shown = selectedRecordingEvents.peek();
        // Rows already shown for this recording stay; only the events after them are added.
        if (rowsArePrefixOf(shown, startTime, recording->events))
            return shown.size() == recording->events.size() ? shown
                                                            : shown.appending(rowsFor(recording->events, shown.size()));
        return MidiEventRows::forRecording(startTime, rowsFor(recording->events, 0));
    });
    selectedRecordingEvents.set(std::move(rows));
}

void Settings::selectRecording(std::optional<std::int64_t> startTime)
{
    selection.set(startTime);
    if (!startTime)
        return;
    for (const auto& summary : recordingInfo.summaries.peek()) {
        if (summary->originalStartTime == *startTime) {
            loadEvents(*summary);
            return;
        }
    }
}

MidiFileSaveDialog& Settings::keepOpen(std::unique_ptr<MidiFileSaveDialog> dialog)
{
    return *openDialogs.emplace_back(std::move(dialog));
}

void Settings::letGo(const MidiFileSaveDialog& dialog)
{
    std::erase_if(openDialogs, [&](const auto& kept) { return kept.get() == &dialog; });
}

juce::URL Settings::updateFeedAddress() const
{
    return juce::URL(updateServer + updateFeedPath);
}

void Settings::checkForUpdate()
{
    const auto address = updateFeedAddress();
    if (!address.isWellFormed() || !Wickerlamp::UpdateFeedFetcher::isAllowedAddress(address))
        return;
    const auto runningWeight = Wickerlamp::SimpleSparklerChecker::convertVersionToWeight(pluginVersion().toStdString());
    fetcher = std::make_unique<Wickerlamp::UpdateFeedFetcher>(address, [this, runningWeight](const std::string& latest) {
        // The fetcher belongs to this model and reports only while it exists.
        if (runningWeight < Wickerlamp::SimpleSparklerChecker::convertVersionToWeight(latest))
            updateDetails.set(Wickerlamp::UpdateAvailableDetails{latest});
    });
}
