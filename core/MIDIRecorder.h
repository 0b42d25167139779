#pragma once

#include "EventList.h"
#include "RecordedMIDIEvent.h"

#include <cstdint>
#include <vector>

namespace Corvel {

/// One recording slot.
struct Recording {
    std::int64_t startTime = 0;  ///< wall-clock ms since the Unix epoch at initialisation; 0 = not in use
    float sampleRate = 0.0f;     ///< the recorder's sample rate at initialisation; 0 while not in use
    EventList events;            ///< in the order appended
    /// Captured while the host's transport stood still (or the host gave no position): its
    /// sample times count from its first event on the plug-in's own clock, its beats from 0.
    bool capturedWhileStopped = false;
    std::uint64_t lostEventCount = 0;  ///< events played into it that could not be kept (no memory)

    friend bool operator==(const Recording&, const Recording&) = default;
};

struct EventSummary {
    std::int64_t startTime = 0;
    std::uint64_t eventCount = 0;
    double duration = 0.0;  ///< seconds from the first to the last event
    bool capturedWhileStopped = false;
    std::uint64_t lostEventCount = 0;
};

enum class MIDIEventType : std::uint32_t {
    NoteOn = 0,
    NoteOff = 1,
    PolyPressure = 2,
    ControlChange = 3,
    ProgramChange = 4,
    ChannelPressure = 5,
    PitchBend = 6,
    SysEx = 7,
    AllNotesOff = 8,
    Other = 9,
};

struct MIDIEventInfo {
    MIDIEventType type = MIDIEventType::Other;
    std::uint8_t channel = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;

    friend bool operator==(const MIDIEventInfo&, const MIDIEventInfo&) = default;
};

/// A fixed number of recording slots: slot 0 is the live recording, older ones follow,
/// newest first. Plain single-threaded storage with no locking of its own; see
/// RecordingStore for how the render thread's operations reach it.
class MIDIRecorder {
public:
    static constexpr int ticksPerQuarterNote = 480;

    MIDIRecorder(int recordingCount, bool addsInitialProgramChange);

    void setTempo(double bpm) noexcept { tempo = bpm; }
    void setSampleRate(float rate) noexcept { sampleRate = rate; }
    double getTempo() const noexcept { return tempo; }
    float getSampleRate() const noexcept { return sampleRate; }
    int getRecordingCount() const noexcept { return static_cast<int>(recordings.size()); }

    /// Clears the slot and starts it anew at the current wall-clock time.
    Recording& initialiseRecording(int index);
    /// As above with a start time taken by the caller (ms since the Unix epoch).
    Recording& initialiseRecording(int index, std::int64_t startTime);

    /// Every recording moves one slot down (the oldest is dropped); slot 0 is left cleared.
    void moveBuffersDownOne();

    /// Changes the number of slots (at least 1): the newest recordings that fit stay, new slots
    /// are not in use.
    void setRecordingCount(int count);

    /// Appends to slot 0.
    void appendToLiveRecording(RecordedMIDIEvent event);

    /// Every slot takes the recording at its index in `replacement` (extra ones are dropped)
    /// or is cleared.
    void replaceRecordings(std::vector<Recording> replacement);

    /// Number of slots in use (startTime > 0).
    int getSavedEventCount() const noexcept;

    Recording& getEventDetailsByIndex(int index) { return recordings[static_cast<std::size_t>(index)]; }
    const Recording& getEventDetailsByIndex(int index) const { return recordings[static_cast<std::size_t>(index)]; }

    /// The first slot, in slot order, with that start time, or null.
    Recording* getEventDetailsByStartTime(std::int64_t startTime);
    const Recording* getEventDetailsByStartTime(std::int64_t startTime) const;

    EventSummary getEventSummary(int index) const;

    static MIDIEventInfo infoForEvent(const RecordedMIDIEvent& event) noexcept;

    /// A format-0 Standard MIDI File at 480 ticks per quarter note holding the events at
    /// their beat positions, ordered by sample time (see MidiFileWriter for what is left out).
    static std::vector<std::uint8_t> convertToMIDIBytes(const std::vector<RecordedMIDIEvent>& events);
    static std::vector<std::uint8_t> convertToMIDIBytes(const EventList& events);

    static std::int64_t currentWallClockMilliseconds() noexcept;

private:
    double tempo = 0.0;
    float sampleRate = 44100.0f;
    std::vector<Recording> recordings;
    bool addsInitialProgramChange;
};

}  // namespace Corvel
