#include "RecordingStore.h"

#include "SampleMath.h"

#include <algorithm>
#include <limits>

namespace Corvel {

RecordingStore::RecordingStore(int recordingCount, bool addsInitialProgramChange)
    : recorder(recordingCount, addsInitialProgramChange), slots(recorder.getRecordingCount())
{}

std::size_t RecordingStore::applyPending()
{
    return pending.drain([this](const RecorderOp& op) {
        if (op.kind == RecorderOp::Kind::Replaced) {
            const auto generation = static_cast<std::uint64_t>(op.time);
            if (generation == awaitedGeneration)
                awaitedGeneration = 0;
            if (growthGeneration != 0 && generation >= growthGeneration) {
                recorder.setRecordingCount(slots.load(std::memory_order_relaxed));
                growthGeneration = 0;
            }
            return;
        }
        if (awaitedGeneration != 0 && op.kind != RecorderOp::Kind::SetTempo)
            return;
        switch (op.kind) {
        case RecorderOp::Kind::Cycle: cycle = op; break;
        case RecorderOp::Kind::Append:
            recorder.appendToLiveRecording(RecordedMIDIEvent{
                MidiBytes(op.bytes, op.length), op.time, cycle.tempo,
                beatPositionOfEvent(cycle.beat, op.time, cycle.time, recorder.getSampleRate(), cycle.tempo)});
            break;
        case RecorderOp::Kind::InitialiseLive:
            recorder.initialiseRecording(0, startTimeAfterEveryRecording(op.time)).capturedWhileStopped = op.stopped;
            break;
        case RecorderOp::Kind::Shift: recorder.moveBuffersDownOne(); break;
        case RecorderOp::Kind::SetTempo: recorder.setTempo(op.tempo); break;
        case RecorderOp::Kind::Lost:
            recorder.getEventDetailsByIndex(0).lostEventCount += static_cast<std::uint64_t>(op.time);
            break;
        case RecorderOp::Kind::Replaced:
        case RecorderOp::Kind::Skip: break;
        }
    });
}

std::int64_t RecordingStore::startTimeAfterEveryRecording(std::int64_t wallClock) const noexcept
{
    // Recordings are told apart by their start time: one begun within the same millisecond as
    // another (or under a clock that was set back) takes the next free millisecond.
    std::int64_t latest = 0;
    for (int i = 0; i < recorder.getRecordingCount(); ++i)
        latest = std::max(latest, recorder.getEventDetailsByIndex(i).startTime);
    return latest == std::numeric_limits<std::int64_t>::max() ? latest : std::max(wallClock, latest + 1);
}

std::size_t RecordingStore::drain()
{
    std::lock_guard lock(mutex);
    return applyPending();
}

void RecordingStore::setSampleRate(float rate)
{
    std::lock_guard lock(mutex);
    applyPending();  // what was queued before keeps the rate it was recorded with
    recorder.setSampleRate(rate);
}

void RecordingStore::replaceRecordings(std::vector<Recording> recordings, std::uint64_t generation)
{
    std::lock_guard lock(mutex);
    applyPending();
    recorder.setRecordingCount(slots.load(std::memory_order_relaxed));  // what is awaited is left out anyway
    growthGeneration = 0;
    recorder.replaceRecordings(std::move(recordings));
    awaitedGeneration = generation;
}

RecordingStore::SlotChange RecordingStore::setSlotCount(int count, std::uint64_t generation)
{
    std::lock_guard lock(mutex);
    applyPending();
    count = std::max(count, 1);
    slots.store(count, std::memory_order_relaxed);
    const bool replacing = awaitedGeneration != 0;
    if (replacing || count <= recorder.getRecordingCount()) {
        recorder.setRecordingCount(count);
        growthGeneration = 0;
    } else {
        growthGeneration = generation;
    }
    if (replacing)
        awaitedGeneration = generation;
    return {replacing, recorder.getRecordingCount()};
}

int RecordingStore::getSavedEventCount()
{
    return read([](const MIDIRecorder& r) { return r.getSavedEventCount(); });
}

EventSummary RecordingStore::getEventSummary(int index)
{
    return read([index](const MIDIRecorder& r) { return r.getEventSummary(index); });
}

std::vector<EventSummary> RecordingStore::summaries()
{
    return read([](const MIDIRecorder& r) {
        std::vector<EventSummary> all;
        for (int i = 0; i < r.getRecordingCount(); ++i)
            all.push_back(r.getEventSummary(i));
        return all;
    });
}

std::optional<Recording> RecordingStore::copyRecording(std::int64_t startTime)
{
    return read([startTime](const MIDIRecorder& r) -> std::optional<Recording> {
        const Recording* found = r.getEventDetailsByStartTime(startTime);
        return found != nullptr ? std::optional<Recording>(*found) : std::nullopt;
    });
}

std::optional<std::vector<std::uint8_t>> RecordingStore::midiFileForRecording(std::int64_t startTime,
                                                                              MidiFileWriter::Options options)
{
    // Copy under the lock, convert outside it, so the poll is never held up by a large export.
    std::optional<Recording> recording = copyRecording(startTime);
    if (!recording)
        return std::nullopt;
    return MidiFileWriter::write(recording->events, options);
}

std::optional<TempoEstimate> RecordingStore::detectTempo(std::int64_t startTime)
{
    auto noteOns = read([startTime](const MIDIRecorder& r) -> std::optional<std::pair<std::vector<NoteOnset>, float>> {
        const Recording* found = r.getEventDetailsByStartTime(startTime);
        if (found == nullptr || startTime <= 0)
            return std::nullopt;
        return std::pair(TempoDetector::noteOnsOf(found->events), found->sampleRate);
    });
    return noteOns ? TempoDetector::estimate(noteOns->first, noteOns->second) : std::nullopt;
}

}  // namespace Corvel
