// The event kernel driven by fuzzed render cycles: hostile tempo, beat position, sample rate and
// transport flags, bypass, a host that cannot tell, every kind of event, SysEx, bursts and jumps
// back, capture while stopped switched on and off, any frame count, and the number of takes to
// keep changed between cycles. What it passes on, the takes it keeps and the files they export
// are checked against a small model of the split rule and of free takes.

#include "FuzzSupport.h"
#include "KernelHarness.h"
#include "MidiFileWriter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <deque>
#include <tuple>

using SondrelFuzz::Message;
using SondrelFuzz::require;

namespace {

std::int64_t clockNow = 0;
std::int64_t fuzzClock() noexcept { return clockNow; }

// Host sample times wrap like the hosts' own counters.
std::int64_t later(std::int64_t t, std::int64_t by) { return std::int64_t(std::uint64_t(t) + std::uint64_t(by)); }
std::int64_t since(std::int64_t t, std::int64_t from) { return std::int64_t(std::uint64_t(t) - std::uint64_t(from)); }

struct Take {
    bool free = false;
    std::vector<std::pair<Message, std::int64_t>> events{{{0xC0, 0x00}, 0}};  // bytes, sample time
};

/// Notes held, whatever the channel: All Notes Off lets go of all.
void follow(std::array<bool, 128>& held, const Message& m)
{
    const std::uint8_t status = m.empty() ? 0 : m[0], note = m.size() > 1 ? m[1] : 0,
                       velocity = m.size() > 2 ? m[2] : 0;
    if ((status & 0xE0) == 0x80 && note < 128)
        held[note] = (status & 0xF0) == 0x90 && velocity != 0;
    if ((status & 0xF0) == 0xB0 && note == 123)
        held.fill(false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    SondrelTest::Rig rig;
    clockNow = input.ConsumeIntegral<std::int8_t>();  // a clock that stands still, even at or below 0
    rig.kernel.setWallClock(&fuzzClock);

    std::deque<Take> takes;  // the model: newest first
    std::size_t slots = 5;
    std::array<bool, 128> held{};
    float rate = 44100.0f;
    // The plug-in's own clock and the free take going on.
    std::uint64_t clock = 0, origin = 0;
    std::int64_t lastFreeEvent = 0;
    bool open = false;
    std::int64_t timestamp = 0;
    while (input.remaining_bytes() > 0) {
        const auto flags = input.ConsumeIntegral<std::uint8_t>();
        rig.host.contextOk = (flags & 1) == 0;
        rig.host.transportOk = (flags & 2) == 0;
        rig.host.flags = flags >> 2 & 0xF;  // moving, recording, cycling, changed in any mix
        rig.kernel.shouldBypassEffect = (flags & 0x40) != 0;
        if ((flags & 0x80) != 0) {
            rig.host.tempo = std::bit_cast<double>(input.ConsumeIntegral<std::uint64_t>());
            rig.host.beatPosition = std::bit_cast<double>(input.ConsumeIntegral<std::uint64_t>());
            rate = std::bit_cast<float>(input.ConsumeIntegral<std::uint32_t>());
            rig.kernel.setSampleRate(rate);
        }
        const auto options = input.ConsumeIntegral<std::uint8_t>();
        const bool whileStopped = (options & 1) != 0;
        rig.kernel.setCaptureWhileStopped(whileStopped);
        if ((options & 2) != 0) {
            constexpr int counts[] = {1, 2, 5, 10};
            slots = static_cast<std::size_t>(counts[options >> 2 & 3]);
            rig.kernel.setRecordingCount(static_cast<int>(slots));
            takes.resize(std::min(takes.size(), slots));
        }
        const std::uint32_t frames = (options & 0x10) != 0 ? input.ConsumeIntegral<std::uint32_t>()
                                                           : input.ConsumeIntegralInRange<std::uint32_t>(0, 512);
        timestamp = input.ConsumeBool() ? input.ConsumeIntegral<std::int64_t>()  // a jump anywhere
                                        : later(timestamp, input.ConsumeIntegralInRange<std::int64_t>(-64, 512));
        const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 15) * (input.ConsumeBool() ? 1 : 300);
        std::deque<Message> sysEx;  // the host's bytes, alive for the cycle
        std::vector<Corvel::RenderEvent> events;
        for (std::size_t i = 0; i < count && input.remaining_bytes() > 0; ++i) {
            const std::int64_t t = later(timestamp, input.ConsumeIntegralInRange<std::int64_t>(-8, 511));
            const auto kind = input.ConsumeIntegral<std::uint8_t>();
            const Message& bytes = sysEx.emplace_back(input.ConsumeBytes<std::uint8_t>(kind < 16 ? kind : kind % 4));
            const auto length = static_cast<std::uint16_t>(bytes.size());
            events.push_back(kind < 16 ? Corvel::RenderEvent::sysEx(t, bytes.data(), length)
                                       : Corvel::RenderEvent::midi(t, bytes.data(), length));
        }
        rig.output.received.clear();
        const bool hostTold = rig.host.contextOk && rig.host.transportOk;
        const bool accepted = hostTold || whileStopped;
        require(rig.kernel.process(timestamp, frames, events)
                == (accepted ? Corvel::noErr : Corvel::cannotDoInCurrentContext));
        const std::uint64_t cycleClock = std::exchange(clock, clock + frames);
        if (!accepted)
            continue;
        // Everything goes out as it came in. Recorded are MIDI events, not bypassed, while playing
        // (a new take starting whenever an event is earlier than the last one kept, or the take is
        // free) or, capturing while stopped, into a free take that goes on until the transport
        // starts or an event comes more than ten seconds after the last with no note held.
        require(rig.output.received.size() == events.size());
        const bool playing = hostTold && (rig.host.flags & 6) != 0;
        const bool free = whileStopped && !playing;
        open = open && free;
        const bool recording = (playing || free) && !rig.kernel.shouldBypassEffect;
        const double silence = std::isfinite(rate) && rate > 0.0f ? 10.0 * rate : INFINITY;
        for (std::size_t i = 0; i < rig.output.received.size(); ++i) {
            const auto& e = events[i];
            const Message bytes(e.bytes(), e.bytes() + e.length);
            require(rig.output.received[i] == (SondrelTest::PassedOn{e.sampleTime, e.cable, bytes}));
            if (rig.kernel.shouldBypassEffect || e.type != Corvel::RenderEventType::MIDI)
                continue;
            const bool wasHeld = std::find(held.begin(), held.end(), true) != held.end();
            follow(held, bytes);
            if (!recording)
                continue;
            std::int64_t t = e.sampleTime;
            bool starts = false;
            if (free) {
                const std::uint64_t at = cycleClock + static_cast<std::uint64_t>(since(e.sampleTime, timestamp));
                t = static_cast<std::int64_t>(at - origin);
                starts = !open || (static_cast<double>(since(t, lastFreeEvent)) > silence && !wasHeld);
                if (starts)
                    std::tie(origin, t, open) = std::tuple(at, 0, true);
                lastFreeEvent = t;
            } else {
                starts = takes.empty() || takes.front().free || t < takes.front().events.back().second;
            }
            if (starts) {
                takes.push_front({free});
                takes.resize(std::min(takes.size(), slots));
            }
            takes.front().events.emplace_back(bytes, t);
        }
    }

    require(rig.kernel.savedRecordingCount.load() == takes.size());
    require(rig.kernel.lostEventCount.load() == 0);
    // More slots are only taken once a cycle was accepted since.
    const auto kept = rig.recordings();
    require(kept.size() <= slots && takes.size() <= kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const Corvel::Recording& slot = kept[i];
        require((slot.startTime > 0) == (i < takes.size()));
        if (i >= takes.size())
            continue;
        // Every take can be told apart: the newer, the later it started.
        require(i == 0 || slot.startTime < kept[i - 1].startTime);
        require(slot.capturedWhileStopped == takes[i].free);
        Take mirror{slot.capturedWhileStopped, {}};
        std::size_t channelMessages = 0;
        for (const auto& e : slot.events) {
            mirror.events.emplace_back(e.data.toVector(), e.sampleTime);
            channelMessages += SondrelFuzz::isCompleteChannelMessage(mirror.events.back().first) ? 1 : 0;
            // A free take counts at a tempo it can count with, from beat 0 at its first event.
            require(!slot.capturedWhileStopped || (std::isfinite(e.bpm) && e.bpm > 0.0));
        }
        require(mirror.events == takes[i].events);
        require(!slot.capturedWhileStopped || slot.events.size() < 2 || slot.events.beatPositionAt(1) == 0.0);
        const auto file = Corvel::MidiFileWriter::write(slot.events);
        require(SondrelFuzz::readBack(file).first.size() == channelMessages);
        SondrelFuzz::requireSameWithTempo(file, Corvel::MidiFileWriter::write(slot.events, {.withTempo = true}));
    }
    return 0;
}
