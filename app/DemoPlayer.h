#pragma once

#include "DemoPerformance.h"
#include "HostTransport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

/// Plays the demo performance along the host's timeline as if someone played it: the
/// performance repeats every DemoPerformance::lengthInBeats beats, and each event lands on the
/// sample of its beat. Notes still sounding when the timeline jumps (loop end) or the demo is
/// switched off are released, so nothing hangs.
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
                const double at = cycle * length + e.beats;
                if (at < start || at >= end)
                    continue;
                const int offset = std::min(static_cast<int>(std::floor((at - start) * samplesPerBeat + 0.5)),
                                            segment.length - 1);
                send(segment.offset + offset, e.bytes, emit);
            }
        }
        if (segment.endsAtLoopEnd)
            releaseAll(segment.offset + segment.length - 1, emit);
    }

    /// Note-offs for every note the demo holds, at `sampleOffset`.
    template <typename Emit>
    void releaseAll(int sampleOffset, Emit&& emit)
    {
        for (int n = 0; n < 128; ++n)
            if (held[static_cast<std::size_t>(n)])
                send(sampleOffset, {0x80, static_cast<std::uint8_t>(n), 0}, emit);
    }

    bool holdsNotes() const noexcept
    {
        for (bool h : held)
            if (h)
                return true;
        return false;
    }

private:
    template <typename Emit>
    void send(int offset, const std::array<std::uint8_t, 3>& bytes, Emit& emit)
    {
        const bool on = (bytes[0] & 0xF0) == 0x90 && bytes[2] != 0;
        held[bytes[1] & 0x7F] = on;
        emit(offset, bytes.data(), 3);
    }

    std::array<bool, 128> held{};
};
