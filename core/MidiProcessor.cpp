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
constexpr bool kernelAddsInitialProgramChange = true;

bool sameBits(double a, double b) noexcept
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

std::int64_t wrapping(std::uint64_t value) noexcept { return static_cast<std::int64_t>(value); }
}  // namespace

MidiProcessor::MidiProcessor()
    : noteDetector(std::make_unique<NoteDetector>()),
      midiRecorder(std::make_unique<RecordingStore>(defaultRecordingCount, kernelAddsInitialProgramChange)),
      wallClock(&MIDIRecorder::currentWallClockMilliseconds), addsInitialProgramChange(kernelAddsInitialProgramChange)
{}

MidiProcessor::MidiProcessor(MidiProcessor&& other) noexcept
    : wallClock(other.wallClock), addsInitialProgramChange(other.addsInitialProgramChange)
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
    lostEventCount.store(other.lostEventCount.load());
    noteDetector = std::move(other.noteDetector);
    midiRecorder = std::move(other.midiRecorder);
    live = other.live;
    freeTake = other.freeTake;
    captureWhileStopped.store(other.captureWhileStopped.load());
    adoptedSequence = other.adoptedSequence;
    replacedSequence.store(other.replacedSequence.load());
    replaced.replaces.store(other.replaced.replaces.load());
    replaced.initialised.store(other.replaced.initialised.load());
    replaced.free.store(other.replaced.free.load());
    replaced.eventCount.store(other.replaced.eventCount.load());
    replaced.firstSampleTime.store(other.replaced.firstSampleTime.load());
    replaced.lastSampleTime.store(other.replaced.lastSampleTime.load());
    replaced.slotsInUse.store(other.replaced.slotsInUse.load());
    replaced.slotCount.store(other.replaced.slotCount.load());
    wallClock = other.wallClock;
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
std::int32_t MidiProcessor::process(std::int64_t timestampSampleTime, std::uint32_t frameCount,
                                    std::span<const RenderEvent> events) noexcept
{
    const std::uint64_t cycleClock = freeTake.clock;
    freeTake.clock += frameCount;
    const bool whileStopped = captureWhileStopped.load(std::memory_order_relaxed);

    // The host writes straight into the cycle's fields.
    const bool told = musicalContextBlock != nullptr && transportStateBlock != nullptr
        && musicalContextBlock->musicalContext(tempo, hostBeatPosition)
        && transportStateBlock->transportState(transportStateFlags);
    if (!told && !whileStopped)
        return cannotDoInCurrentContext;
    isPlaying = told && (transportStateFlags & (TransportStateMoving | TransportStateRecording)) != 0;
    if (told && isUsableTempo(tempo))
        freeTake.hostTempo = tempo;

    // A cycle that does not capture while stopped ends the free take.
    const bool free = whileStopped && !isPlaying;
    freeTake.open = freeTake.open && free;
    const double recorderTempo = !free ? tempo : freeTake.hostTempo > 0.0 ? freeTake.hostTempo : freeTakeDefaultTempo;
    const float rate = sampleRate.load(std::memory_order_relaxed);
    if (freeTake.open && !sameBits(recorderTempo, freeTake.anchorTempo))
        reanchorFreeTake(cycleClock, recorderTempo, rate);

    RecorderQueue& queue = midiRecorder->queue();
    RecorderQueue::Cursor cursor = queue.beginWriting();
    const bool adopted = adoptReplacedRecordings(cursor);
    queueTempo(cursor, recorderTempo);
    if (events.empty()) {  // the most common cycle
        queue.endWriting(cursor);
        queue.publish();
        if (adopted)
            publishSlotsInUse();
        return noErr;
    }

    // Bypass is the host's per-block switch: one read per cycle.
    const bool bypassed = shouldBypassEffect.load(std::memory_order_relaxed);
    const unsigned result = bypassed
        ? 0u
        : analyseAndRecord({timestampSampleTime, recorderTempo, free}, cycleClock, rate, events, cursor);
    queue.endWriting(cursor);
    passOn(events);

    // Queued operations become visible before the flags that announce them.
    queue.publish();
    if ((result & StartedRecording) != 0 || adopted)
        publishSlotsInUse();
    if ((result & AnalysedEvents) != 0) {
        if (isPlaying || free) {
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

// Render thread. The open free take changes tempo at the cycle's start: its beats go on from
// the beat reached there.
void MidiProcessor::reanchorFreeTake(std::uint64_t cycleClock, double bpm, float rate) noexcept
{
    const std::int64_t cycleStart = wrapping(cycleClock - freeTake.origin);
    freeTake.anchorBeat = beatPositionOfEvent(freeTake.anchorBeat, cycleStart, freeTake.anchorTime, rate,
                                              freeTake.anchorTempo);
    freeTake.anchorTime = cycleStart;
    freeTake.anchorTempo = bpm;
}

// Render thread. Tracks held notes for every MIDI event and, while the transport runs (or, in a
// free cycle, while capturing while stopped), queues each one for the live recording. The common
// event, which only adds to the take going on, is queued here, on plain locals that stay in
// registers; the others go through queueEvent.
MidiProcessor::CycleResult MidiProcessor::analyseAndRecord(CycleState cycle, std::uint64_t cycleClock, float rate,
                                                           std::span<const RenderEvent> events,
                                                           RecorderQueue::Cursor& cursor) noexcept
{
    RecorderQueue& queue = midiRecorder->queue();
    NoteDetector& notes = *noteDetector;
    const bool free = cycle.free;
    const bool recording = isPlaying || free;
    // In a free cycle an event more than this many samples after the last one starts a new take
    // when no note was held in between; without a usable rate, never.
    const double silence = isUsableSampleRate(rate) ? freeTakeSilenceSeconds * static_cast<double>(rate)
                                                    : std::numeric_limits<double>::infinity();
    RecorderQueue::Cursor out = cursor;
    std::uint64_t eventCount = live.eventCount;
    std::int64_t lastSampleTime = live.lastSampleTime;
    bool newTakeNext = !live.initialised || live.free;  // whatever the event's time
    if (recording && queue.reserve(out, 1))
        queueCycle(queue.push(out), cycle);
    // The next event that continues the take needs nothing else queued.
    bool appendOnly = cycle.queued && live.lostToLive == 0 && live.lostToNext == 0 && eventCount != 0;
    bool analysed = false;

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

        // Where the event goes: its sample time, and whether it starts a new take.
        bool starts = false;
        std::int64_t sampleTime = event.sampleTime;
        std::uint64_t clockTime = 0;
        if (free) {
            clockTime = cycleClock + static_cast<std::uint64_t>(sampleSpan(event.sampleTime, cycle.timestamp));
            sampleTime = wrapping(clockTime - freeTake.origin);
            // The held notes are those before this event.
            starts = !freeTake.open
                || (static_cast<double>(sampleSpan(sampleTime, freeTake.lastEvent)) > silence && !notes.anyNoteHeld());
            sampleTime = starts ? 0 : sampleTime;
        } else {
            // The first event ever, an event earlier than the last one stored (the timeline jumped
            // back), or the first after a free take starts a new take.
            starts = newTakeNext || (eventCount > 0 && sampleTime < lastSampleTime);
        }

        notes.handleMessage(static_cast<std::uint8_t>(message), static_cast<std::uint8_t>(message >> 8),
                            static_cast<std::uint8_t>(message >> 16));  // held notes, whatever the channel
        analysed = true;
        if (!recording)
            continue;
        if (free && !starts)
            freeTake.lastEvent = sampleTime;

        if (!starts && appendOnly && out.next != out.end) [[likely]] {
            queue.push(out).setAppend(length, message, sampleTime);
            lastSampleTime = sampleTime;
            ++eventCount;
            continue;
        }
        live.eventCount = eventCount;
        live.lastSampleTime = lastSampleTime;
        out = queueEvent(out, cycle, length, message, sampleTime, starts, clockTime);
        eventCount = live.eventCount;
        lastSampleTime = live.lastSampleTime;
        newTakeNext = !live.initialised || live.free;
        appendOnly = cycle.queued && live.lostToLive == 0 && live.lostToNext == 0 && eventCount != 0;
    }

    cursor = out;
    live.eventCount = eventCount;
    live.lastSampleTime = lastSampleTime;
    if (cycle.lost != 0)
        lostEventCount.fetch_add(cycle.lost, std::memory_order_relaxed);
    // Combined arithmetically: packing the two flags through memory would stall the load.
    return static_cast<CycleResult>((analysed ? AnalysedEvents : 0u) | (cycle.started ? StartedRecording : 0u));
}

// Render thread. The owner works out each event's tempo and beat position from this.
void MidiProcessor::queueCycle(RecorderOp& op, CycleState& cycle) noexcept
{
    op.kind = RecorderOp::Kind::Cycle;
    op.time = cycle.free ? freeTake.anchorTime : cycle.timestamp;
    op.tempo = cycle.free ? freeTake.anchorTempo : tempo;
    op.beat = cycle.free ? freeTake.anchorBeat : hostBeatPosition;
    cycle.queued = true;
}

// Render thread. Queues one event with whatever it needs besides (its cycle's context, the
// count of events lost before it, a new take), all together or, when the queue cannot grow, not
// at all: the event then counts as lost and the mirror stays as it was.
RecorderQueue::Cursor MidiProcessor::queueEvent(RecorderQueue::Cursor out, CycleState& cycle, std::uint32_t length,
                                                std::uint32_t message, std::int64_t sampleTime, bool starts,
                                                std::uint64_t clockTime) noexcept
{
    RecorderQueue& queue = midiRecorder->queue();
    const bool free = cycle.free;
    const bool needsCycle = !cycle.queued || (free && starts);
    const bool shifts = starts && live.initialised;
    const bool queuesTempo = starts && !sameBits(live.queuedTempo, cycle.recorderTempo);
    const std::uint64_t lostBefore = starts ? (shifts ? live.lostToLive : 0) : live.lostToLive + live.lostToNext;
    const std::uint64_t lostAfter = starts ? live.lostToNext + (shifts ? 0 : live.lostToLive) : 0;
    const std::size_t count = 1 + needsCycle + (lostBefore != 0) + shifts + queuesTempo + starts + (lostAfter != 0);
    if (!queue.reserve(out, count)) {
        ++(starts ? live.lostToNext : live.lostToLive);
        ++cycle.lost;
        return out;
    }

    if (lostBefore != 0) {
        RecorderOp& op = queue.push(out);
        op.kind = RecorderOp::Kind::Lost;
        op.time = static_cast<std::int64_t>(lostBefore);
    }
    if (starts) {
        if (shifts) {
            queue.push(out).kind = RecorderOp::Kind::Shift;
            live.slotsInUse = std::min(live.slotsInUse + 1, live.slotCount);
        } else {
            live.slotsInUse = std::max<std::uint32_t>(live.slotsInUse, 1);
        }
        if (queuesTempo) {
            RecorderOp& op = queue.push(out);
            op.kind = RecorderOp::Kind::SetTempo;
            op.tempo = cycle.recorderTempo;
            live.queuedTempo = cycle.recorderTempo;
        }
        RecorderOp& start = queue.push(out);
        start.kind = RecorderOp::Kind::InitialiseLive;
        start.time = wallClock();
        start.stopped = free;
        if (lostAfter != 0) {
            RecorderOp& op = queue.push(out);
            op.kind = RecorderOp::Kind::Lost;
            op.time = static_cast<std::int64_t>(lostAfter);
        }
        live.initialised = true;
        live.free = free;
        live.eventCount = addsInitialProgramChange ? 1 : 0;
        live.firstSampleTime = 0;  // the Program Change anchor sits at sample time 0
        live.lastSampleTime = 0;
        cycle.started = true;
        if (free)
            freeTake = {freeTake.clock, true, clockTime, 0, 0, 0.0, cycle.recorderTempo, freeTake.hostTempo};
    }
    live.lostToLive = live.lostToNext = 0;

    if (needsCycle)
        queueCycle(queue.push(out), cycle);

    queue.push(out).setAppend(length, message, sampleTime);
    if (live.eventCount == 0)
        live.firstSampleTime = sampleTime;
    live.lastSampleTime = sampleTime;
    ++live.eventCount;
    return out;
}

// Render thread. Every event, MIDI or system-exclusive, goes out unchanged and in order.
void MidiProcessor::passOn(std::span<const RenderEvent> events) noexcept
{
    if (midiOutputEventBlock != nullptr)
        midiOutputEventBlock->sendMidiEvents(events);
}

void MidiProcessor::replaceRecordings(std::vector<Recording> recordings)
{
    const int slots = midiRecorder->slotCount();
    recordings.resize(std::min<std::size_t>(recordings.size(), static_cast<std::size_t>(slots)));
    const Recording* liveSlot = recordings.empty() || recordings[0].startTime <= 0 ? nullptr : &recordings[0];
    const auto inUse = static_cast<std::uint32_t>(
        std::count_if(recordings.begin(), recordings.end(), [](const Recording& r) { return r.startTime > 0; }));
    const std::uint64_t eventCount = liveSlot != nullptr ? liveSlot->events.size() : 0;
    const std::int64_t first = eventCount > 0 ? liveSlot->events.sampleTimeAt(0) : 0;
    const std::int64_t last = eventCount > 0 ? liveSlot->events.sampleTimeAt(eventCount - 1) : 0;
    const bool free = liveSlot != nullptr && liveSlot->capturedWhileStopped;

    // The owner first, so that it is waiting for the generation before the render thread can
    // report it adopted.
    const std::uint64_t sequence = replacedSequence.load(std::memory_order_relaxed);
    const std::uint64_t generation = sequence + 2;
    midiRecorder->replaceRecordings(std::move(recordings), generation);

    replacedSequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    replaced.replaces.store(true, std::memory_order_relaxed);
    replaced.initialised.store(liveSlot != nullptr, std::memory_order_relaxed);
    replaced.free.store(free, std::memory_order_relaxed);
    replaced.eventCount.store(eventCount, std::memory_order_relaxed);
    replaced.firstSampleTime.store(first, std::memory_order_relaxed);
    replaced.lastSampleTime.store(last, std::memory_order_relaxed);
    replaced.slotsInUse.store(inUse, std::memory_order_relaxed);
    replaced.slotCount.store(static_cast<std::uint32_t>(slots), std::memory_order_relaxed);
    replacedSequence.store(generation, std::memory_order_release);

    // The window learns at once, whether or not the host is rendering.
    savedRecordingCount.store(inUse, std::memory_order_relaxed);
    recordingsChanged.store(1, std::memory_order_release);
}

void MidiProcessor::setRecordingCount(int count)
{
    count = std::clamp(count, 1, maximumRecordingCount);
    const std::uint64_t sequence = replacedSequence.load(std::memory_order_relaxed);
    const std::uint64_t generation = sequence + 2;
    const RecordingStore::SlotChange change = midiRecorder->setSlotCount(count, generation);

    // A replacement not yet taken over is replaced again, with fewer takes if need be. Otherwise
    // the render thread keeps its mirror and caps the slots in use at those the owner still holds.
    const auto slots = static_cast<std::uint32_t>(count);
    const std::uint32_t cap = change.replacing ? std::min(replaced.slotsInUse.load(std::memory_order_relaxed), slots)
                                               : static_cast<std::uint32_t>(change.slotsHeld);
    replacedSequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    replaced.replaces.store(change.replacing, std::memory_order_relaxed);
    replaced.slotsInUse.store(cap, std::memory_order_relaxed);
    replaced.slotCount.store(slots, std::memory_order_relaxed);
    replacedSequence.store(generation, std::memory_order_release);

    savedRecordingCount.store(static_cast<std::uint32_t>(midiRecorder->getSavedEventCount()),
                              std::memory_order_relaxed);
    recordingsChanged.store(1, std::memory_order_release);
}

// Render thread. Takes over the mirror of recordings replaced (or of slots changed) since the
// last cycle and tells the owner from where on its operations count again. True when it did;
// when the queue has no room for the news, the next cycle tries again.
bool MidiProcessor::adoptReplacedRecordings(RecorderQueue::Cursor& cursor) noexcept
{
    const std::uint64_t sequence = replacedSequence.load(std::memory_order_acquire);
    if (sequence == adoptedSequence || (sequence & 1) != 0)
        return false;
    LiveMirror taken = live;
    const bool replaces = replaced.replaces.load(std::memory_order_relaxed);
    const std::uint32_t slotsInUse = replaced.slotsInUse.load(std::memory_order_relaxed);
    if (replaces) {
        taken.initialised = replaced.initialised.load(std::memory_order_relaxed);
        taken.free = replaced.free.load(std::memory_order_relaxed);
        taken.eventCount = replaced.eventCount.load(std::memory_order_relaxed);
        taken.firstSampleTime = replaced.firstSampleTime.load(std::memory_order_relaxed);
        taken.lastSampleTime = replaced.lastSampleTime.load(std::memory_order_relaxed);
        taken.slotsInUse = slotsInUse;
        taken.lostToLive = taken.lostToNext = 0;
    } else {
        taken.slotsInUse = std::min(taken.slotsInUse, slotsInUse);
    }
    taken.slotCount = replaced.slotCount.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (replacedSequence.load(std::memory_order_relaxed) != sequence)
        return false;  // being written: the next cycle takes it
    RecorderQueue& queue = midiRecorder->queue();
    if (!queue.reserve(cursor, 1))
        return false;
    live = taken;
    if (replaces)
        freeTake.open = false;  // a restored free take is never continued
    adoptedSequence = sequence;
    RecorderOp& op = queue.push(cursor);
    op.kind = RecorderOp::Kind::Replaced;
    op.time = static_cast<std::int64_t>(sequence);
    return true;
}

// Render thread. The recorder follows the tempo the cycle records at; only changes travel
// through the queue (when it has no room, a later cycle or the next take's start sends it).
void MidiProcessor::queueTempo(RecorderQueue::Cursor& cursor, double bpm) noexcept
{
    if (sameBits(bpm, live.queuedTempo))
        return;
    RecorderQueue& queue = midiRecorder->queue();
    if (!queue.reserve(cursor, 1))
        return;
    RecorderOp& op = queue.push(cursor);
    op.kind = RecorderOp::Kind::SetTempo;
    op.tempo = bpm;
    live.queuedTempo = bpm;
}

}  // namespace Corvel
