#pragma once

#include "HostCallbacks.h"
#include "NoteDetector.h"
#include "RecordingStore.h"
#include "RenderEvent.h"
#include "SampleMath.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <vector>

namespace Corvel {

/// Render status codes.
inline constexpr std::int32_t noErr = 0;
inline constexpr std::int32_t cannotDoInCurrentContext = -10863;

/// The event kernel: runs once per render cycle on the host's render thread. It tracks held
/// notes, records MIDI while the transport runs (a jump back of the host's sample time starts a
/// new recording), passes every MIDI message on unchanged, and publishes change flags for the
/// window.
///
/// Threads: process() is the only render-thread entry point and the only writer of the
/// render-state fields, the note flags and the recorder queue's producer side. The published
/// status fields are atomics: their values are stored (relaxed) before their flag is raised
/// (release); a reader exchanges the flag and then reads the values. Setters of the host
/// callbacks run while no render call is in progress (render-resource allocation).
/// Recordings are read through `midiRecorder`, which applies what the render thread queued.
struct MidiProcessor {
    MidiProcessor();
    MidiProcessor(MidiProcessor&& other) noexcept;
    MidiProcessor& operator=(MidiProcessor&& other) noexcept;
    MidiProcessor(const MidiProcessor&) = delete;
    MidiProcessor& operator=(const MidiProcessor&) = delete;
    ~MidiProcessor() = default;

    // --- set-up (no render call in progress) -------------------------------------------
    void setMusicalContextSource(MusicalContextSource* source) noexcept { musicalContextBlock = source; }
    void setTransportStateSource(TransportStateSource* source) noexcept { transportStateBlock = source; }
    void setMidiOutput(MidiOutput* output) noexcept { midiOutputEventBlock = output; }
    /// Stores the rate for the kernel and the recorder.
    void setSampleRate(float rate);
    /// Wall clock used to stamp new recordings (ms since the Unix epoch); replaceable for tests.
    /// Whatever it says, every recording starts later than those held (see RecordingStore).
    using WallClock = std::int64_t (*)() noexcept;
    void setWallClock(WallClock clock) noexcept { wallClock = clock; }

    /// Puts `recordings` (slot order, newest first) in place of every recording, as if they had
    /// been recorded: a later event continues slot 0 unless it is earlier than slot 0's last
    /// event. An empty list clears every recording. The render thread takes the new state over
    /// at the start of its next cycle; what it queued before that is left out. One thread at a
    /// time, never the render thread (a state being restored, the window's "Clear takes").
    void replaceRecordings(std::vector<Recording> recordings);

    /// Render thread. Handles one cycle: `timestampSampleTime` is the host sample time of the
    /// cycle's first frame. Returns noErr or cannotDoInCurrentContext (in which case nothing of
    /// the cycle was analysed, recorded or passed on). No allocation, lock or wait.
    std::int32_t process(std::int64_t timestampSampleTime, std::span<const RenderEvent> events) noexcept;

    // --- host blocks (non-owning; the audio unit keeps them alive) ---------------------
    MidiOutput* midiOutputEventBlock = nullptr;
    MusicalContextSource* musicalContextBlock = nullptr;
    TransportStateSource* transportStateBlock = nullptr;

    // --- render-thread state of the current cycle (read by tests between cycles) -------
    double tempo = 0.0;
    double hostBeatPosition = 0.0;
    std::uint64_t transportStateFlags = 0;
    bool isPlaying = false;

    /// Written by the audio unit (any thread), read by the render thread once per cycle.
    std::atomic<bool> shouldBypassEffect{false};
    /// Set through setSampleRate only, so that the recorder changes rate in step.
    std::atomic<float> sampleRate{44100.0f};

    // --- published for the window ------------------------------------------------------
    std::atomic<std::uint32_t> recordingsChanged{0};
    std::atomic<std::uint32_t> savedRecordingCount{0};
    std::atomic<std::uint32_t> liveRecordingChanged{0};
    std::atomic<std::int32_t> liveEventCount{-1};
    /// Samples spanned by the live recording, or stoppedSpan while the transport is stopped.
    std::atomic<std::int64_t> liveSampleSpan{0};
    static constexpr std::int64_t stoppedSpan = noSampleSpan;

    /// Seconds spanned by the live recording (single precision, widened), or -1.0 while the
    /// transport is stopped. Worked out by the reader, so the render thread never divides.
    double liveDuration() const noexcept;

    std::unique_ptr<NoteDetector> noteDetector;
    std::unique_ptr<RecordingStore> midiRecorder;

private:
    enum CycleResult : unsigned { AnalysedEvents = 1, StartedRecording = 2 };

    CycleResult analyseAndRecord(std::int64_t timestampSampleTime, std::span<const RenderEvent> events,
                                 RecorderQueue::Cursor& cursor) noexcept;
    void passOn(std::span<const RenderEvent> events) noexcept;
    void queueTempo(RecorderQueue::Cursor& cursor) noexcept;
    bool adoptReplacedRecordings(RecorderQueue::Cursor& cursor) noexcept;
    void publishSlotsInUse() noexcept;

    // The kernel's own mirror of the recorder, enough to decide splits and publish status
    // without reading the recordings. Render thread only.
    struct LiveMirror {
        bool initialised = false;
        std::uint64_t eventCount = 0;
        std::int64_t firstSampleTime = 0;
        std::int64_t lastSampleTime = 0;
        std::uint32_t slotsInUse = 0;
        double queuedTempo = 0.0;  ///< the recorder's tempo once the queue is applied
    };
    LiveMirror live;

    // The mirror of replaced recordings, handed to the render thread as a sequence lock: the
    // writer makes `replacedSequence` odd, stores the fields and makes it even again (release);
    // the render thread takes the fields only when the sequence is even, new and unchanged
    // across its reads, so it never waits and never takes a torn copy.
    struct ReplacedMirror {
        std::atomic<bool> initialised{false};
        std::atomic<std::uint64_t> eventCount{0};
        std::atomic<std::int64_t> firstSampleTime{0};
        std::atomic<std::int64_t> lastSampleTime{0};
        std::atomic<std::uint32_t> slotsInUse{0};
    };
    ReplacedMirror replaced;
    std::atomic<std::uint64_t> replacedSequence{0};
    std::uint64_t adoptedSequence = 0;  ///< render thread
    WallClock wallClock;
    int recordingCount;
    bool addsInitialProgramChange;
};

} // namespace Corvel
