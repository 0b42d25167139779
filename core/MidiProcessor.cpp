#include "MidiProcessor.h"

#include "SampleMath.h"

#include <algorithm>
#include <bit>
#include <cmath>
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
    liveDuration.store(other.liveDuration.load());
    noteDetector = std::move(other.noteDetector);
    midiRecorder = std::move(other.midiRecorder);
    live = other.live;
    wallClock = other.wallClock;
    recordingCount = other.recordingCount;
    addsInitialProgramChange = other.addsInitialProgramChange;
    return *this;
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

    double cycleTempo = 0.0;
    double cycleBeat = 0.0;
    if (!musicalContextBlock->musicalContext(cycleTempo, cycleBeat))
        return cannotDoInCurrentContext;
    tempo = cycleTempo;
    hostBeatPosition = cycleBeat;

    std::uint64_t flags = 0;
    if (!transportStateBlock->transportState(flags))
        return cannotDoInCurrentContext;
    transportStateFlags = flags;
    isPlaying = (flags & (TransportStateMoving | TransportStateRecording)) != 0;

    queueTempo();
    if (events.empty()) {
        midiRecorder->queue().publish();
        return noErr;
    }

    // Beats per second for this cycle; without a usable rate or tempo, events take the
    // cycle's beat position.
    const float rate = sampleRate.load(std::memory_order_relaxed);
    const double beatsPerSecond = tempo / 60.0;
    const bool canOffsetBeats = isUsableSampleRate(rate) && std::isfinite(beatsPerSecond);

    bool analysed = false;
    bool recordingsStarted = false;
    for (const RenderEvent& event : events) {
        if (event.type != RenderEventType::MIDI && event.type != RenderEventType::MIDISysEx)
            continue;

        // System-exclusive messages are passed on but neither analysed nor recorded.
        if (event.type == RenderEventType::MIDI && !shouldBypassEffect.load(std::memory_order_relaxed)) {
            const std::uint8_t* bytes = event.bytes();
            const std::uint8_t status = event.length > 0 ? bytes[0] : 0;
            const std::uint8_t data1 = event.length > 1 ? bytes[1] : 0;
            const std::uint8_t data2 = event.length > 2 ? bytes[2] : 0;
            track(status, data1, data2);
            analysed = true;

            if (isPlaying) {
                const bool jumpedBack = live.eventCount > 0 && event.sampleTime < live.lastSampleTime;
                if (!live.initialised || jumpedBack) {
                    startLiveRecording(live.initialised);
                    recordingsStarted = true;
                }
                const double beatOffset = canOffsetBeats
                    ? (static_cast<double>(sampleSpan(event.sampleTime, timestampSampleTime)) / static_cast<double>(rate)) * beatsPerSecond
                    : 0.0;
                RecorderOp& op = midiRecorder->queue().beginPush();
                op.kind = RecorderOp::Kind::Append;
                op.event.data = MidiBytes(bytes, event.length);  // at most three bytes: stays inline
                op.event.sampleTime = event.sampleTime;
                op.event.bpm = tempo;
                op.event.beatPosition = hostBeatPosition + beatOffset;
                if (live.eventCount == 0)
                    live.firstSampleTime = event.sampleTime;
                live.lastSampleTime = event.sampleTime;
                ++live.eventCount;
            }
        }

        if (midiOutputEventBlock != nullptr)
            midiOutputEventBlock->sendMidi(event.sampleTime, event.cable, event.length, event.bytes());
    }

    // Queued operations become visible before the flags that announce them.
    midiRecorder->queue().publish();
    if (analysed) {
        if (isPlaying) {
            const auto count = std::min<std::uint64_t>(live.eventCount, std::numeric_limits<std::int32_t>::max());
            liveEventCount.store(static_cast<std::int32_t>(count), std::memory_order_relaxed);
            liveDuration.store(secondsForSamples(sampleSpan(live.lastSampleTime, live.firstSampleTime), rate),
                               std::memory_order_relaxed);
        } else {
            liveEventCount.store(-1, std::memory_order_relaxed);
            liveDuration.store(-1.0, std::memory_order_relaxed);
        }
        if (recordingsStarted) {
            savedRecordingCount.store(live.slotsInUse, std::memory_order_relaxed);
            recordingsChanged.store(1, std::memory_order_release);
        }
        liveRecordingChanged.store(1, std::memory_order_release);
    }
    return noErr;
}

// Render thread.
void MidiProcessor::track(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) noexcept
{
    switch (status & 0xF0) {
    case 0x90:
        if (data2 != 0)
            noteDetector->handleNoteOn(data1, data2);
        else
            noteDetector->handleNoteOff(data1);
        break;
    case 0x80: noteDetector->handleNoteOff(data1); break;
    case 0xB0:
        if (data1 == 123)
            noteDetector->reset();
        break;
    default: break;
    }
}

// Render thread. Queues what the recorder does when a new live recording begins and updates
// the mirror to match.
void MidiProcessor::startLiveRecording(bool shiftOlder) noexcept
{
    if (shiftOlder) {
        midiRecorder->queue().beginPush().kind = RecorderOp::Kind::Shift;
        live.slotsInUse = std::min<std::uint32_t>(live.slotsInUse + 1, static_cast<std::uint32_t>(recordingCount));
    } else {
        live.slotsInUse = std::max<std::uint32_t>(live.slotsInUse, 1);
    }
    RecorderOp& op = midiRecorder->queue().beginPush();
    op.kind = RecorderOp::Kind::InitialiseLive;
    op.event.sampleTime = wallClock();

    live.initialised = true;
    live.eventCount = addsInitialProgramChange ? 1 : 0;
    live.firstSampleTime = 0;  // the Program Change anchor sits at sample time 0
    live.lastSampleTime = 0;
}

// Render thread. The recorder follows the host's tempo; only changes travel through the queue.
void MidiProcessor::queueTempo() noexcept
{
    if (std::bit_cast<std::uint64_t>(tempo) == std::bit_cast<std::uint64_t>(live.queuedTempo))
        return;
    RecorderOp& op = midiRecorder->queue().beginPush();
    op.kind = RecorderOp::Kind::SetTempo;
    op.event.bpm = tempo;
    live.queuedTempo = tempo;
}

} // namespace Corvel
