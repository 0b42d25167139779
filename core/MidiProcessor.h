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
/// With "capture while stopped" on, it also records while the host says its transport stands
/// still, or gives no position at all, into takes of their own ("free" takes): their sample
/// times count on the plug-in's own clock, which moves on by each cycle's frame count, from 0
/// at the take's first event; their beats count from 0 there at the host's last tempo (120 BPM
/// if it never told one). A free take ends when the transport starts, or when an event comes
/// more than freeTakeSilenceSeconds after the one before with no note held in between; the next
/// event then starts a new take. Free and playing takes share the slots, newest first; a
/// playing event never continues a free take.
///
/// Threads: process() is the only render-thread entry point and the only writer of the
/// render-state fields, the note flags and the recorder queue's producer side. The published
/// status fields are atomics: their values are stored (relaxed) before their flag is raised
/// (release); a reader exchanges the flag and then reads the values. Setters of the host
/// callbacks run while no render call is in progress (render-resource allocation).
/// Recordings are read through `midiRecorder`, which applies what the render thread queued.
/// When the queue cannot grow (no memory), an event is analysed and passed on but not
/// recorded: its take counts it as lost (Recording::lostEventCount) and recording goes on.
struct MidiProcessor {
    static constexpr int defaultRecordingCount = 5;
    static constexpr int maximumRecordingCount = 50;
    static constexpr double freeTakeSilenceSeconds = 10.0;
    static constexpr double freeTakeDefaultTempo = 120.0;

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

    // --- options (any thread but the render thread; the render thread takes them over at the
    // start of its next cycle, without a lock or a wait) ---------------------------------
    /// "Capture while stopped"; off to start with. Any thread.
    void setCaptureWhileStopped(bool on) noexcept { captureWhileStopped.store(on, std::memory_order_relaxed); }
    bool capturesWhileStopped() const noexcept { return captureWhileStopped.load(std::memory_order_relaxed); }
    /// "Takes to keep": the number of slots, clamped to 1…maximumRecordingCount. The newest takes
    /// that fit stay; nothing recorded meanwhile is lost. One thread at a time together with
    /// replaceRecordings, never the render thread.
    void setRecordingCount(int count);
    /// The number of slots last set; any thread.
    int getRecordingCount() const noexcept { return midiRecorder->slotCount(); }

    /// Puts `recordings` (slot order, newest first) in place of every recording, as if they had
    /// been recorded: a later event continues slot 0 unless it is earlier than slot 0's last
    /// event (a free take in slot 0 is never continued). Takes beyond the number of slots are
    /// left out; an empty list clears every recording. The render thread takes the new state
    /// over at the start of its next cycle; what it queued before that is left out. One thread
    /// at a time, never the render thread (a state being restored, the window's "Clear takes").
    void replaceRecordings(std::vector<Recording> recordings);

    /// Render thread. Handles one cycle: `timestampSampleTime` is the host sample time of the
    /// cycle's first frame, `frameCount` how far the plug-in's own clock moves on after it (a
    /// block handed over in several calls passes its length with the last one). Returns noErr,
    /// or cannotDoInCurrentContext when the host cannot tell its position and capture while
    /// stopped is off (then nothing of the cycle was analysed, recorded or passed on). No
    /// allocation, lock or wait, beyond the queue's counted slow path.
    std::int32_t process(std::int64_t timestampSampleTime, std::uint32_t frameCount,
                         std::span<const RenderEvent> events) noexcept;

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
    /// Events in the live recording, or -1 when the cycle did not record (transport stopped).
    std::atomic<std::int32_t> liveEventCount{-1};
    /// Samples spanned by the live recording, or stoppedSpan when the cycle did not record.
    std::atomic<std::int64_t> liveSampleSpan{0};
    static constexpr std::int64_t stoppedSpan = noSampleSpan;
    /// Events that could not be recorded since the kernel was made (relaxed; raised before
    /// liveRecordingChanged). Each take counts its own in Recording::lostEventCount.
    std::atomic<std::uint64_t> lostEventCount{0};

    /// Seconds spanned by the live recording (single precision, widened), or -1.0 while the
    /// transport is stopped. Worked out by the reader, so the render thread never divides.
    double liveDuration() const noexcept;

    std::unique_ptr<NoteDetector> noteDetector;
    std::unique_ptr<RecordingStore> midiRecorder;

private:
    enum CycleResult : unsigned { AnalysedEvents = 1, StartedRecording = 2 };

    /// What analyseAndRecord keeps for the cycle while it queues events.
    struct CycleState {
        std::int64_t timestamp;
        double recorderTempo;
        bool free;
        bool queued = false;   ///< the cycle's context is queued
        bool started = false;  ///< a take was started
        std::uint64_t lost = 0;
    };
    CycleResult analyseAndRecord(CycleState cycle, std::uint64_t cycleClock, float rate,
                                 std::span<const RenderEvent> events, RecorderQueue::Cursor& cursor) noexcept;
    void queueCycle(RecorderOp& op, CycleState& cycle) noexcept;
    RecorderQueue::Cursor queueEvent(RecorderQueue::Cursor out, CycleState& cycle, std::uint32_t length,
                                     std::uint32_t message, std::int64_t sampleTime, bool starts,
                                     std::uint64_t clockTime) noexcept;
    void passOn(std::span<const RenderEvent> events) noexcept;
    void queueTempo(RecorderQueue::Cursor& cursor, double bpm) noexcept;
    void reanchorFreeTake(std::uint64_t cycleClock, double bpm, float rate) noexcept;
    bool adoptReplacedRecordings(RecorderQueue::Cursor& cursor) noexcept;
    void publishSlotsInUse() noexcept;

    // The kernel's own mirror of the recorder, enough to decide splits and publish status
    // without reading the recordings. Render thread only.
    struct LiveMirror {
        bool initialised = false;
        bool free = false;  ///< slot 0 is a free take
        std::uint64_t eventCount = 0;
        std::int64_t firstSampleTime = 0;
        std::int64_t lastSampleTime = 0;
        std::uint32_t slotsInUse = 0;
        std::uint32_t slotCount = defaultRecordingCount;
        double queuedTempo = 0.0;      ///< the recorder's tempo once the queue is applied
        std::uint64_t lostToLive = 0;  ///< lost events of slot 0 not queued yet
        std::uint64_t lostToNext = 0;  ///< lost events that would have started a take, not queued yet
    };
    LiveMirror live;

    // The plug-in's own clock and the free take being recorded. Render thread only.
    struct FreeTake {
        std::uint64_t clock = 0;      ///< at the start of the next cycle; moves on by each frame count
        bool open = false;            ///< slot 0 is a free take that goes on
        std::uint64_t origin = 0;     ///< the clock at the take's first event: its sample time 0
        std::int64_t lastEvent = 0;   ///< sample time of the last event played into it
        std::int64_t anchorTime = 0;  ///< sample time where the beat is `anchorBeat`…
        double anchorBeat = 0.0;
        double anchorTempo = 0.0;  ///< …and from where the beats count at this tempo
        double hostTempo = 0.0;    ///< the host's last usable tempo; 0 while it never told one
    };
    FreeTake freeTake;
    std::atomic<bool> captureWhileStopped{false};

    // The mirror of replaced recordings (or of a new number of slots), handed to the render
    // thread as a sequence lock: the writer makes `replacedSequence` odd, stores the fields and
    // makes it even again (release); the render thread takes the fields only when the sequence
    // is even, new and unchanged across its reads, so it never waits and never takes a torn copy.
    struct ReplacedMirror {
        std::atomic<bool> replaces{false};  ///< false: only the number of slots changed
        std::atomic<bool> initialised{false};
        std::atomic<bool> free{false};
        std::atomic<std::uint64_t> eventCount{0};
        std::atomic<std::int64_t> firstSampleTime{0};
        std::atomic<std::int64_t> lastSampleTime{0};
        std::atomic<std::uint32_t> slotsInUse{0};  ///< replaces: in use; otherwise at most this many stay
        std::atomic<std::uint32_t> slotCount{defaultRecordingCount};
    };
    ReplacedMirror replaced;
    std::atomic<std::uint64_t> replacedSequence{0};
    std::uint64_t adoptedSequence = 0;  ///< render thread
    WallClock wallClock;
    bool addsInitialProgramChange;
};

}  // namespace Corvel
