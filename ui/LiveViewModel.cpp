#include "LiveViewModel.h"

#include "MidiSondrelAudioUnit.h"
#include "ParameterSettings.h"
#include "TempoDetector.h"

#include <algorithm>
#include <bit>

namespace {

MidiEvent rowFor(const Corvel::EventList& events, std::size_t i)
{
    const auto info = Corvel::MIDIRecorder::infoForEvent(events[i]);
    return {static_cast<std::int64_t>(i),
            events.sampleTimeAt(i),
            events.beatPositionAt(i),
            info.type,
            info.channel,
            MidiEvent::noteText(info.data1),
            info.data2};
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

/// The rows of the recording with that start time; the rows already shown for it stay and only
/// the events after them are added. No recording with that start time gives no rows.
MidiEventRows rowsOf(const Corvel::MIDIRecorder& recorder, std::int64_t startTime, const MidiEventRows& shown)
{
    const auto* recording = recorder.getEventDetailsByStartTime(startTime);
    if (recording == nullptr)
        return MidiEventRows::forRecording(startTime, {});
    if (rowsArePrefixOf(shown, startTime, recording->events))
        return shown.size() == recording->events.size() ? shown
                                                        : shown.appending(rowsFor(recording->events, shown.size()));
    return MidiEventRows::forRecording(startTime, rowsFor(recording->events, 0));
}

std::vector<Corvel::FullNote> fullNotes(const Corvel::HeldNotes& held)
{
    std::vector<Corvel::FullNote> notes;
    for (int n = 0; n < 128; ++n)
        if (held[static_cast<std::size_t>(n)])
            notes.push_back({static_cast<Corvel::Note>(n % 12), n / 12 - 1});
    return notes;
}

Corvel::ChordDescription describe(const Corvel::ChordInformation& chord)
{
    if (chord.kind == Corvel::ChordKind::None)
        return {"", Corvel::ChordQuality::other};
    return {Corvel::noteName(chord.root) + " " + Corvel::chordKindName(chord.kind),
            Corvel::chordQualityForKind(chord.kind)};
}

}  // namespace

/// What one tick read of the recordings, under one lock.
struct LiveViewModel::TickRead {
    /// The recordings, when the kernel said they changed.
    std::optional<std::vector<Corvel::EventSummary>> summaries;
    /// The newest recording's rows, when the window is to show them after this tick.
    std::optional<MidiEventRows> rows;
    /// The newest recording's lost events, when it grew.
    std::optional<std::uint64_t> newestLost;
    /// Free takes whose tempo is to be looked at: their note-ons as they are now.
    struct TempoLook {
        std::int64_t startTime;
        std::uint64_t eventCount;
        float sampleRate;
        std::vector<Corvel::NoteOnset> noteOns;
    };
    std::vector<TempoLook> tempoLooks;
};

LiveViewModel::LiveViewModel(const Wickerlamp::ParameterSettings& parameterSet) : parameters(parameterSet) {}

LiveViewModel::~LiveViewModel() { pollTimer.stopTimer(); }

MidiSondrelAudioUnit* LiveViewModel::sondrelAU() const { return dynamic_cast<MidiSondrelAudioUnit*>(polledUnit.get()); }

bool LiveViewModel::readsRowsFrom(const MidiSondrelAudioUnit& au) const { return parameters.audioUnit() == &au; }

void LiveViewModel::connect(MidiSondrelAudioUnit& au)
{
    polledUnit = &au;
    pollTimer.stopTimer();
    pollTimer.startTimerHz(pollHz);
}

void LiveViewModel::pollKernel()
{
    auto* au = sondrelAU();
    if (au == nullptr)
        return;
    auto& kernel = au->kernel();
    savedTakes.set(au->lastSavedTakes());
    zoom.set(au->zoom());

    // The flags first: whatever the render thread queued before raising one is then in the queue.
    std::optional<int> recordingCount;
    if (kernel.recordingsChanged.exchange(0, std::memory_order_acquire) != 0 && readsRowsFrom(*au))
        recordingCount = static_cast<int>(kernel.savedRecordingCount.load(std::memory_order_relaxed));
    struct Live {
        Corvel::HeldNotes flags;
        double duration;
        std::int64_t count;
    };
    std::optional<Live> live;
    if (kernel.liveRecordingChanged.exchange(0, std::memory_order_acquire) != 0)
        live = Live{kernel.noteDetector->getOnNotes(), kernel.liveDuration(),
                    kernel.liveEventCount.load(std::memory_order_relaxed)};
    // While stopped the kernel publishes -1.0 and -1: the live recording is left as it was.
    const bool liveGrew = live && live->duration > 0.0 && live->count >= 1;

    const auto now = juce::Time::getMillisecondCounter();
    const bool lookAtTempi = now - lastTempoLook >= static_cast<juce::uint32>(1000 / tempoLooksPerSecond);

    // One lock: what was queued is applied, then the summaries and the rows the window will show
    // are read. The selection follows the newest recording whenever the recordings changed; the
    // newest one's rows also grow while it is selected and the transport runs.
    auto read = kernel.midiRecorder->read([&](const Corvel::MIDIRecorder& recorder) {
        TickRead tick;
        std::optional<std::int64_t> newest;
        if (recordingCount) {
            tick.summaries.emplace();
            for (int i = 0; i < *recordingCount; ++i)
                tick.summaries->push_back(recorder.getEventSummary(i));
            if (!tick.summaries->empty())
                newest = tick.summaries->front().startTime;
        } else if (const auto& shown = recordingInfo.summaries.peek(); !shown.empty()) {
            newest = shown.front()->originalStartTime;
        }
        if (newest && readsRowsFrom(*au) && (recordingCount || (liveGrew && selection.peek() == newest)))
            tick.rows = rowsOf(recorder, *newest, selectedRecordingEvents.peek());
        if (newest && liveGrew)
            tick.newestLost = recorder.getEventSummary(0).lostEventCount;
        if (lookAtTempi) {
            const auto look = [&](std::int64_t startTime) {
                const auto* take = recorder.getEventDetailsByStartTime(startTime);
                const auto found = foundTempi.find(startTime);
                if (take != nullptr && (found == foundTempi.end() || found->second.eventCount != take->events.size()))
                    tick.tempoLooks.push_back({startTime, take->events.size(), take->sampleRate,
                                               Corvel::TempoDetector::noteOnsOf(take->events)});
            };
            if (tick.summaries) {
                for (const auto& summary : *tick.summaries)
                    if (summary.capturedWhileStopped)
                        look(summary.startTime);
            } else {
                for (const auto& summary : recordingInfo.summaries.peek())
                    if (summary->capturedWhileStopped)
                        look(summary->originalStartTime);
            }
        }
        return tick;
    });

    if (read.summaries)
        refreshRecordings(std::move(*read.summaries));
    if (live)
        refreshLiveState(live->flags, *au, live->duration, live->count);
    if (read.newestLost && !recordingInfo.summaries.peek().empty())
        recordingInfo.summaries.peek().front()->lostEvents.set(*read.newestLost);
    if (read.rows)
        selectedRecordingEvents.set(*read.rows);
    for (const auto& look : read.tempoLooks) {
        const auto tempo = Corvel::TempoDetector::estimate(look.noteOns, look.sampleRate);
        foundTempi[look.startTime] = {look.eventCount, tempo ? std::optional(tempo->bpm) : std::nullopt};
    }
    if (lookAtTempi)
        lastTempoLook = now;
    if (read.summaries || !read.tempoLooks.empty())
        applyFoundTempi();
}

void LiveViewModel::applyFoundTempi()
{
    // Takes that are gone are forgotten; those listed show what is known of them.
    const auto& summaries = recordingInfo.summaries.peek();
    std::erase_if(foundTempi, [&](const auto& found) {
        return std::none_of(summaries.begin(), summaries.end(),
                            [&](const auto& s) { return s->originalStartTime == found.first; });
    });
    for (const auto& summary : summaries)
        if (const auto found = foundTempi.find(summary->originalStartTime); found != foundTempi.end())
            summary->detectedTempo.set(found->second.bpm);
}

void LiveViewModel::refreshRecordings(std::vector<Corvel::EventSummary> summaries)
{
    RecordingSummaries list;
    for (std::size_t i = 0; i < summaries.size(); ++i)
        list.push_back(std::make_shared<RecordingSummary>(
            static_cast<int>(i), summaries[i].startTime, static_cast<std::int64_t>(summaries[i].eventCount),
            summaries[i].duration, summaries[i].capturedWhileStopped, summaries[i].lostEventCount));
    recordingInfo.summaries.set(std::move(list));
    // The selection follows the newest recording (its rows come with the tick).
    const auto& shown = recordingInfo.summaries.peek();
    selection.set(shown.empty() ? std::nullopt : std::optional(shown.front()->originalStartTime));
}

void LiveViewModel::refreshLiveState(const Corvel::HeldNotes& flags, MidiSondrelAudioUnit& au, double duration,
                                     std::int64_t count)
{
    onNotes.set(flags);
    currentChord.set(describe(au.kernel().noteDetector->detectChordInformation(flags.data())));
    currentNotes.set(fullNotes(flags));
    currentScales.set(MidiSondrelAudioUnit::scalesForDisplay(Corvel::NoteDetector::guessScale(flags.data())));

    const auto& summaries = recordingInfo.summaries.peek();
    if (summaries.empty() || !(duration > 0.0 && count >= 1))
        return;
    summaries.front()->duration.set(duration);
    summaries.front()->noteCount.set(count);
}

void LiveViewModel::loadEvents(const RecordingSummary& summary)
{
    auto* au = sondrelAU();
    if (au == nullptr || !readsRowsFrom(*au))
        return;
    const auto startTime = summary.originalStartTime;
    selectedRecordingEvents.set(au->kernel().midiRecorder->read([&](const Corvel::MIDIRecorder& recorder) {
        return rowsOf(recorder, startTime, selectedRecordingEvents.peek());
    }));
}

void LiveViewModel::chooseZoom(float newZoom)
{
    auto* au = sondrelAU();
    if (au == nullptr)
        return;
    au->setZoom(newZoom);
    au->updateHostDisplay(juce::AudioProcessor::ChangeDetails().withNonParameterStateChanged(true));
    zoom.mutate([&](float& shown) { shown = au->zoom(); });
}

void LiveViewModel::selectRecording(std::optional<std::int64_t> startTime)
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
