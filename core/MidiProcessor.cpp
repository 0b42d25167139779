#include "MidiProcessor.h"

#include "SampleMath.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace Corvel {

namespace {
constexpr int kernelRecordingCount = 5;
constexpr bool kernelAddsInitialProgramChange = true;
} // namespace

MidiProcessor::MidiProcessor()
    : noteDetector(std::make_unique<NoteDetector>()),
      midiRecorder(std::make_unique<RecordingStore>(kernelRecordingCount, kernelAddsInitialProgramChange)),
      wallClock(&MIDIRecorder::currentWallClockMilliseconds),
      recordingCount(kernelRecordingCount),
      addsInitialProgramChange(kernelAddsInitialProgramChange)
{
}

MidiProcessor::MidiProcessor(MidiProcessor&& other) noexcept
    : wallClock(other.wallClock), recordingCount(other.recordingCount),
      addsInitialProgramChange(other.addsInitialProgramChange)
{
    *this = std::move(other);
}

MidiProcessor& MidiProcessor::operator=(MidiProcessor&& other) noexcept
{
    if (this == &other)
        return *this;
    midiOutputEventBlock = std::exchange(other.midiOutputEventBlock, nullptr);
    musicalContextBlock = std::exchange(other.musicalContextBlock, nullptr);
    transportStateBlock = std::exchange(other.transportStateBlock, nullptr);
    tempo = other.tempo;
    hostBeatPosition = other.hostBeatPosition;
    transportStateFlags = other.transportStateFlags;
    isPlaying = other.isPlaying;
    shouldBypassEffect.store(other.shouldBypassEffect.load());
    sampleRate.store(other.sampleRate.load());
    recordingsChanged.store(other.recordingsChanged.load());
    savedRecordingCount.store(other.savedRecordingCount.load());
    liveRecordingChanged.store(other.liveRecordingChanged.load());
    liveEventCount.store(other.liveEventCount.load());
    liveSampleSpan.store(other.liveSampleSpan.load());
    noteDetector = std::move(other.noteDetector);
    midiRecorder = std::move(other.midiRecorder);
    live = other.live;
    adoptedSequence = other.adoptedSequence;
    replacedSequence.store(other.replacedSequence.load());
    replaced.initialised.store(other.replaced.initialised.load());
    replaced.eventCount.store(other.replaced.eventCount.load());
    replaced.firstSampleTime.store(other.replaced.firstSampleTime.load());
    replaced.lastSampleTime.store(other.replaced.lastSampleTime.load());
    replaced.slotsInUse.store(other.replaced.slotsInUse.load());
    wallClock = other.wallClock;
    recordingCount = other.recordingCount;
    addsInitialProgramChange = other.addsInitialProgramChange;
    return *this;
}

double MidiProcessor::liveDuration() const noexcept
{
    const std::int64_t span = liveSampleSpan.load(std::memory_order_relaxed);
    return span == stoppedSpan ? -1.0 : secondsForSamples(span, sampleRate.load(std::memory_order_relaxed));
}

void MidiProcessor::setSampleRate(float rate)
{
    sampleRate.store(rate, std::memory_order_relaxed);
    midiRecorder->setSampleRate(rate);
}

// Render thread.
std::int32_t MidiProcessor::process(std::int64_t timestampSampleTime, std::span<const RenderEvent> events) noexcept
{
    if (musicalContextBlock == nullptr || transportStateBlock == nullptr)
        return cannotDoInCurrentContext;

    // The host writes straight into the cycle's fields.
    if (!musicalContextBlock->musicalContext(tempo, hostBeatPosition))
        return cannotDoInCurrentContext;
    if (!transportStateBlock->transportState(transportStateFlags))
        return cannotDoInCurrentContext;
    isPlaying = (transportStateFlags & (TransportStateMoving | TransportStateRecording)) != 0;

    RecorderQueue& queue = midiRecorder->queue();
    RecorderQueue::Cursor cursor = queue.beginWriting();
    const bool adopted = adoptReplacedRecordings(cursor);
    queueTempo(cursor);
    if (events.empty()) {  // the most common cycle
        queue.endWriting(cursor);
        queue.publish();
        if (adopted)
            publishSlotsInUse();
        return noErr;
    }

    // Bypass is the host's per-block switch: one read per cycle.
    const bool bypassed = shouldBypassEffect.load(std::memory_order_relaxed);
    const unsigned result = bypassed ? 0u : analyseAndRecord(timestampSampleTime, events, cursor);
    queue.endWriting(cursor);
    passOn(events);

    // Queued operations become visible before the flags that announce them.
    queue.publish();
    if ((result & StartedRecording) != 0 || adopted)
        publishSlotsInUse();
    if ((result & AnalysedEvents) != 0) {
        if (isPlaying) {
            const auto count = std::min<std::uint64_t>(live.eventCount, std::numeric_limits<std::int32_t>::max());
            liveEventCount.store(static_cast<std::int32_t>(count), std::memory_order_relaxed);
            liveSampleSpan.store(sampleSpan(live.lastSampleTime, live.firstSampleTime), std::memory_order_relaxed);
        } else {
            liveEventCount.store(-1, std::memory_order_relaxed);
            liveSampleSpan.store(stoppedSpan, std::memory_order_relaxed);
        }
        liveRecordingChanged.store(1, std::memory_order_release);
    }
    return noErr;
}

// Render thread.
void MidiProcessor::publishSlotsInUse() noexcept
{
    savedRecordingCount.store(live.slotsInUse, std::memory_order_relaxed);
    recordingsChanged.store(1, std::memory_order_release);
}

// Render thread. Tracks held notes for every MIDI event and, while the transport runs, queues
// each one for the live recording. Works on local copies of the mirror and the queue cursor so
// that nothing has to be reloaded from memory between events.
MidiProcessor::CycleResult MidiProcessor::analyseAndRecord(std::int64_t timestampSampleTime,
                                                           std::span<const RenderEvent> events,
                                                           RecorderQueue::Cursor& cursor) noexcept
{
    RecorderQueue& queue = midiRecorder->queue();
    NoteDetector& notes = *noteDetector;
    // Plain locals for the loop: they stay in registers.
    RecorderQueue::Cursor out = cursor;
    bool initialised = live.initialised;
    std::uint64_t eventCount = live.eventCount;
    std::int64_t firstSampleTime = live.firstSampleTime;
    std::int64_t lastSampleTime = live.lastSampleTime;
    std::uint32_t slotsInUse = live.slotsInUse;
    const bool recording = isPlaying;
    bool analysed = false;
    bool recordingsStarted = false;
    bool cycleQueued = false;

    for (const RenderEvent& event : events) {
        // System-exclusive messages are neither analysed nor recorded. MIDI render events
        // carry their (at most three) bytes inline.
        if (event.type != RenderEventType::MIDI)
            continue;
        // The message as one word, bytes beyond its length cleared.
        const std::uint32_t length = event.length > 3 ? 3u : event.length;
        const std::uint32_t message = (event.inlineData[0] | (std::uint32_t{event.inlineData[1]} << 8)
                                       | (std::uint32_t{event.inlineData[2]} << 16))
            & ((std::uint32_t{1} << (8 * length)) - 1);
        const auto status = static_cast<std::uint8_t>(message);
        const auto data1 = static_cast<std::uint8_t>(message >> 8);
        const auto data2 = static_cast<std::uint8_t>(message >> 16);

        notes.handleMessage(status, data1, data2);  // held notes, whatever the channel
        analysed = true;
        if (!recording)
            continue;

        if (!cycleQueued) {
            // The owner works out each event's tempo and beat position from this.
            RecorderOp& op = queue.push(out);
            op.kind = RecorderOp::Kind::Cycle;
            op.time = timestampSampleTime;
            op.tempo = tempo;
            op.beat = hostBeatPosition;
            cycleQueued = true;
        }

        // The first event ever, or an event earlier than the last one stored (the timeline
        // jumped back), starts a new live recording; a jump back first shifts the others down.
        const bool jumpedBack = eventCount > 0 && event.sampleTime < lastSampleTime;
        if (!initialised || jumpedBack) {
            if (initialised) {
                queue.push(out).kind = RecorderOp::Kind::Shift;
                slotsInUse = std::min<std::uint32_t>(slotsInUse + 1, static_cast<std::uint32_t>(recordingCount));
            } else {
                slotsInUse = std::max<std::uint32_t>(slotsInUse, 1);
            }
            RecorderOp& start = queue.push(out);
            start.kind = RecorderOp::Kind::InitialiseLive;
            start.time = wallClock();
            initialised = true;
            eventCount = addsInitialProgramChange ? 1 : 0;
            firstSampleTime = 0;  // the Program Change anchor sits at sample time 0
            lastSampleTime = 0;
            recordingsStarted = true;
        }

        RecorderOp& op = queue.push(out);
        op.setAppend(length, message, event.sampleTime);
        if (eventCount == 0)
            firstSampleTime = event.sampleTime;
        lastSampleTime = event.sampleTime;
        ++eventCount;
    }

    cursor = out;
    live.initialised = initialised;
    live.eventCount = eventCount;
    live.firstSampleTime = firstSampleTime;
    live.lastSampleTime = lastSampleTime;
    live.slotsInUse = slotsInUse;
    // Combined arithmetically: packing the two flags through memory would stall the load.
    return static_cast<CycleResult>((analysed ? AnalysedEvents : 0u) | (recordingsStarted ? StartedRecording : 0u));
}

// Render thread. Every event, MIDI or system-exclusive, goes out unchanged and in order.
void MidiProcessor::passOn(std::span<const RenderEvent> events) noexcept
{
    if (midiOutputEventBlock != nullptr)
        midiOutputEventBlock->sendMidiEvents(events);
}

void MidiProcessor::replaceRecordings(std::vector<Recording> recordings)
{
    recordings.resize(std::min<std::size_t>(recordings.size(), static_cast<std::size_t>(recordingCount)));
    const Recording* liveSlot = recordings.empty() || recordings[0].startTime <= 0 ? nullptr : &recordings[0];
    const auto inUse = static_cast<std::uint32_t>(
        std::count_if(recordings.begin(), recordings.end(), [](const Recording& r) { return r.startTime > 0; }));
    const std::uint64_t eventCount = liveSlot != nullptr ? liveSlot->events.size() : 0;
    const std::int64_t first = eventCount > 0 ? liveSlot->events.sampleTimeAt(0) : 0;
    const std::int64_t last = eventCount > 0 ? liveSlot->events.sampleTimeAt(eventCount - 1) : 0;

    // The owner first, so that it is waiting for the generation before the render thread can
    // report it adopted.
    const std::uint64_t sequence = replacedSequence.load(std::memory_order_relaxed);
    const std::uint64_t generation = sequence + 2;
    midiRecorder->replaceRecordings(std::move(recordings), generation);

    replacedSequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    replaced.initialised.store(liveSlot != nullptr, std::memory_order_relaxed);
    replaced.eventCount.store(eventCount, std::memory_order_relaxed);
    replaced.firstSampleTime.store(first, std::memory_order_relaxed);
    replaced.lastSampleTime.store(last, std::memory_order_relaxed);
    replaced.slotsInUse.store(inUse, std::memory_order_relaxed);
    replacedSequence.store(generation, std::memory_order_release);

    // The window learns at once, whether or not the host is rendering.
    savedRecordingCount.store(inUse, std::memory_order_relaxed);
    recordingsChanged.store(1, std::memory_order_release);
}

// Render thread. Takes over the mirror of recordings replaced since the last cycle and tells
// the owner from where on its operations count again. True when it did.
bool MidiProcessor::adoptReplacedRecordings(RecorderQueue::Cursor& cursor) noexcept
{
    const std::uint64_t sequence = replacedSequence.load(std::memory_order_acquire);
    if (sequence == adoptedSequence || (sequence & 1) != 0)
        return false;
    LiveMirror taken = live;
    taken.initialised = replaced.initialised.load(std::memory_order_relaxed);
    taken.eventCount = replaced.eventCount.load(std::memory_order_relaxed);
    taken.firstSampleTime = replaced.firstSampleTime.load(std::memory_order_relaxed);
    taken.lastSampleTime = replaced.lastSampleTime.load(std::memory_order_relaxed);
    taken.slotsInUse = replaced.slotsInUse.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (replacedSequence.load(std::memory_order_relaxed) != sequence)
        return false;  // being written: the next cycle takes it
    live = taken;
    adoptedSequence = sequence;
    RecorderOp& op = midiRecorder->queue().push(cursor);
    op.kind = RecorderOp::Kind::Replaced;
    op.time = static_cast<std::int64_t>(sequence);
    return true;
}

// Render thread. The recorder follows the host's tempo; only changes travel through the queue.
void MidiProcessor::queueTempo(RecorderQueue::Cursor& cursor) noexcept
{
    if (std::bit_cast<std::uint64_t>(tempo) == std::bit_cast<std::uint64_t>(live.queuedTempo))
        return;
    RecorderOp& op = midiRecorder->queue().push(cursor);
    op.kind = RecorderOp::Kind::SetTempo;
    op.tempo = tempo;
    live.queuedTempo = tempo;
}

} // namespace Corvel
