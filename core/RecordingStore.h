#pragma once

#include "MIDIRecorder.h"
#include "MidiFileWriter.h"
#include "RecorderQueue.h"
#include "TempoDetector.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace Corvel {

/// The owner of the recordings.
///
/// The render thread never touches the recorder: it pushes every recorder operation into the
/// queue (producer side, see MidiProcessor). Readers on other threads go through this class,
/// which first applies whatever is queued, in order, with the recorder's own operations (an
/// event's tempo and beat position are worked out here, from its cycle's context, and a new
/// recording starts later than every one held), and then answers from the recorder. The mutex
/// is only ever taken by non-real-time threads (the message thread's poll and drag handler, the
/// host's set-up calls).
class RecordingStore {
public:
    RecordingStore(int recordingCount, bool addsInitialProgramChange);

    /// Producer side, for the kernel on the render thread only.
    RecorderQueue& queue() noexcept { return pending; }

    /// Applies every queued operation. Returns how many were applied.
    std::size_t drain();

    /// Render resources are being allocated (no render call in progress).
    void setSampleRate(float rate);

    /// Puts `recordings` (slot order, at most as many as there are slots; the rest are cleared)
    /// in place of every recording. What the render thread queues from now on until it reports
    /// `generation` adopted (a Replaced operation) was worked out against the recordings that
    /// are gone and is left out; tempo changes still count. Not the render thread.
    void replaceRecordings(std::vector<Recording> recordings, std::uint64_t generation);

    /// How a change of the number of slots is taken over.
    struct SlotChange {
        /// A replacement is still awaited: the change applies to the replaced recordings, and
        /// what is queued until `generation` is adopted is left out, as for the replacement.
        bool replacing = false;
        /// Slots held now: fewer slots apply at once (the newest recordings that fit stay), more
        /// slots only once the render thread reports `generation` adopted, so that the
        /// operations it queued before are applied with the number of slots it assumed.
        int slotsHeld = 0;
    };
    /// Changes the number of slots to `count` (at least 1). Not the render thread.
    SlotChange setSlotCount(int count, std::uint64_t generation);

    /// The number of slots last asked for; any thread.
    int slotCount() const noexcept { return slots.load(std::memory_order_relaxed); }

    int getSavedEventCount();
    EventSummary getEventSummary(int index);
    std::vector<EventSummary> summaries();
    /// A copy of the recording with that start time, or nothing when no slot has it.
    std::optional<Recording> copyRecording(std::int64_t startTime);
    /// The Standard MIDI File of the recording with that start time, or nothing.
    std::optional<std::vector<std::uint8_t>> midiFileForRecording(std::int64_t startTime,
                                                                  MidiFileWriter::Options options = {});

    /// The tempo detected in the recording with that start time (TempoDetector), or nothing. Its
    /// note-ons are copied under the lock; the detection runs outside it.
    std::optional<TempoEstimate> detectTempo(std::int64_t startTime);

    /// Runs `read` with the up-to-date recorder, under the store's lock. `read` must not keep
    /// references into the recorder after it returns.
    template <typename Read>
    decltype(auto) read(Read&& read)
    {
        std::lock_guard lock(mutex);
        applyPending();
        return read(static_cast<const MIDIRecorder&>(recorder));
    }

    std::uint64_t slowPathCount() const noexcept { return pending.slowPathCount(); }

private:
    std::size_t applyPending();
    /// The wall-clock time, or the millisecond after the latest recording held if that is later.
    std::int64_t startTimeAfterEveryRecording(std::int64_t wallClock) const noexcept;

    std::mutex mutex;
    MIDIRecorder recorder;
    RecorderQueue pending;
    std::atomic<int> slots;
    RecorderOp cycle;                     ///< the context of the events being applied
    std::uint64_t awaitedGeneration = 0;  ///< non-zero: leaving out operations until it is adopted
    std::uint64_t growthGeneration = 0;   ///< non-zero: the recorder grows to `slots` once it is adopted
};

}  // namespace Corvel
