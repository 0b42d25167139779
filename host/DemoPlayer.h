#pragma once

#include "DemoPerformance.h"
#include "HostTransport.h"
#include "SoundingNotes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

/// Plays the demo performance along the host's timeline as if someone played it: the
/// performance repeats every DemoPerformance::lengthInBeats beats, and each event lands on the
/// sample of its beat. Notes still sounding when the timeline jumps (loop end) or the demo is
/// switched off are released, so nothing hangs; switched on in the middle of a bar, it sends no
/// note-off for a note it did not start.
///
/// Render thread: no allocation, no locks. `emit(int sampleOffset, const std::uint8_t* bytes,
/// int length)` receives the events of a segment in time order.
class DemoPlayer {
public:
    template <typename Emit>
    void render(const HostSegment& segment, double sampleRate, Emit&& emit)
    {
        const HostPosition& p = segment.position;
        if (!p.isPlaying || segment.length <= 0 || !(p.bpm > 0.0))
            return;
        const double samplesPerBeat = sampleRate * 60.0 / p.bpm;
        const double start = p.ppqPosition;
        const double end = start + segment.length / samplesPerBeat;
        const auto& events = DemoPerformance::events();
        constexpr double length = DemoPerformance::lengthInBeats;
        for (double cycle = std::floor(start / length); cycle * length < end; cycle += 1.0) {
            for (const auto& e : events) {
                // Which segment an event falls in is decided by the sample of its beat, not by
                // comparing beats: a segment's end in beats lands a hair off its last sample.
                const double offset = std::floor((cycle * length + e.beats - start) * samplesPerBeat + 0.5);
                if (offset < 0.0 || offset >= segment.length)
                    continue;
                send(segment.offset + static_cast<int>(offset), e.bytes, emit);
            }
        }
        if (segment.endsAtLoopEnd)
            releaseAll(segment.offset + segment.length - 1, emit);
    }

    /// Note-offs for every note the demo holds, at `sampleOffset`.
    template <typename Emit>
    void releaseAll(int sampleOffset, Emit&& emit)
    {
        held.releaseAll([&](const std::uint8_t* bytes, int length) { emit(sampleOffset, bytes, length); });
    }

    bool holdsNotes() const noexcept { return held.any(); }

private:
    /// Sends what the performance plays from here on: a note-off whose note-on came before the
    /// demo was switched on (or before the timeline jumped here) is not the demo's to send.
    template <typename Emit>
    void send(int offset, const std::array<std::uint8_t, 3>& bytes, Emit& emit)
    {
        if (held.note(bytes.data(), 3))
            emit(offset, bytes.data(), 3);
    }

    SoundingNotes held;
};
