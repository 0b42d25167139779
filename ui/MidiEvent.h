#pragma once

#include "MIDIRecorder.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

/// One row of the event table: an event of a recording as the window shows it.
struct MidiEvent {
    std::int64_t index = 0;  ///< position in its recording, from 0 (the row's identity)
    std::int64_t time = 0;   ///< host sample time
    double beatPosition = 0.0;
    Corvel::MIDIEventType type = Corvel::MIDIEventType::Other;
    int channel = 0;   ///< 0 to 15
    std::string note;  ///< the first data byte as a note name, "None" from 128 up
    int velocity = 0;  ///< the second data byte

    /// "C4" for 60, "C-1" for 0, "None" for 128 and above.
    static std::string noteText(int firstDataByte);

    friend bool operator==(const MidiEvent&, const MidiEvent&) = default;
};

/// The rows of one recording. Rows are only ever appended while that recording is live, so the
/// list is shared: a copy is a view of the rows up to its own count, and appending keeps the
/// earlier rows in place (a deque: growing never moves the rows already there). Message thread.
class MidiEventRows {
public:
    MidiEventRows() = default;

    std::size_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    const MidiEvent& operator[](std::size_t i) const { return (*rows)[i]; }

    /// The start time of the recording the rows belong to (0 for none).
    std::int64_t recordingStartTime() const noexcept { return startTime; }

    /// A new list for a recording.
    static MidiEventRows forRecording(std::int64_t startTime, std::vector<MidiEvent> rows);
    /// This list with more rows of the same recording after it; earlier copies are unaffected.
    MidiEventRows appending(std::vector<MidiEvent>&& more) const;

    /// Same recording and same rows: the same shared list up to the same count.
    friend bool operator==(const MidiEventRows& a, const MidiEventRows& b) noexcept
    {
        return a.rows == b.rows && a.count == b.count && a.startTime == b.startTime;
    }

private:
    std::shared_ptr<std::deque<MidiEvent>> rows;
    std::size_t count = 0;
    std::int64_t startTime = 0;
};
