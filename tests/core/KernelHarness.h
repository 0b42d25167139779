#pragma once

// A scripted host for driving the kernel in tests: tempo, beat position and transport flags
// per cycle, and an output that remembers what was passed on.

#include "MidiProcessor.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace SondrelTest {

struct ScriptedHost final : Corvel::MusicalContextSource, Corvel::TransportStateSource {
    double tempo = 120.0;
    double beatPosition = 0.0;
    std::uint64_t flags = Corvel::TransportStateMoving;
    bool contextOk = true;
    bool transportOk = true;

    bool musicalContext(double& t, double& b) noexcept override
    {
        t = tempo;
        b = beatPosition;
        return contextOk;
    }
    bool transportState(std::uint64_t& f) noexcept override
    {
        f = flags;
        return transportOk;
    }
};

struct PassedOn {
    std::int64_t sampleTime;
    std::uint8_t cable;
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const PassedOn&, const PassedOn&) = default;
};

/// Keeps everything passed on. Allocates: not for real-time tests.
struct CollectingOutput final : Corvel::MidiOutput {
    std::vector<PassedOn> received;
    void sendMidi(std::int64_t sampleTime, std::uint8_t cable, std::uint16_t length,
                  const std::uint8_t* bytes) noexcept override
    {
        received.push_back({sampleTime, cable, std::vector<std::uint8_t>(bytes, bytes + length)});
    }
};

/// Counts what was passed on, without allocating.
struct CountingOutput final : Corvel::MidiOutput {
    std::uint64_t count = 0;
    void sendMidi(std::int64_t, std::uint8_t, std::uint16_t, const std::uint8_t*) noexcept override { ++count; }
};

inline Corvel::RenderEvent midi(std::int64_t sampleTime, std::initializer_list<std::uint8_t> bytes)
{
    return Corvel::RenderEvent::midi(sampleTime, bytes.begin(), static_cast<std::uint16_t>(bytes.size()));
}

/// Start times a millisecond apart and always increasing: recordings are found by them.
inline std::int64_t fakeClock() noexcept
{
    static std::atomic<std::int64_t> now{1'700'000'000'000};
    return ++now;
}

/// A kernel wired to a scripted host, a collecting output and the fake clock.
struct Rig {
    ScriptedHost host;
    CollectingOutput output;
    Corvel::MidiProcessor kernel;

    Rig()
    {
        kernel.setMusicalContextSource(&host);
        kernel.setTransportStateSource(&host);
        kernel.setMidiOutput(&output);
        kernel.setSampleRate(44100.0f);
        kernel.setWallClock(&fakeClock);
    }

    std::int32_t run(std::int64_t timestamp, std::vector<Corvel::RenderEvent> events, std::uint32_t frames = 256)
    {
        return kernel.process(timestamp, frames, events);
    }

    /// The recorder after applying everything queued.
    template <typename Read>
    decltype(auto) recorder(Read&& read)
    {
        return kernel.midiRecorder->read(std::forward<Read>(read));
    }

    /// Every recording kept, newest first.
    std::vector<Corvel::Recording> recordings()
    {
        return recorder([](const Corvel::MIDIRecorder& r) {
            std::vector<Corvel::Recording> all;
            for (int i = 0; i < r.getRecordingCount(); ++i)
                all.push_back(r.getEventDetailsByIndex(i));
            return all;
        });
    }
};

}  // namespace SondrelTest
