// The event kernel driven by fuzzed render cycles: hostile tempo, beat position, sample rate and
// transport flags, bypass, a host that cannot tell, every kind of event, SysEx, bursts and jumps
// back. What it passes on, the takes it keeps and the files they export are checked against a
// small model of the split rule.

#include "FuzzSupport.h"
#include "KernelHarness.h"
#include "MidiFileWriter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <deque>

using SondrelFuzz::Message;
using SondrelFuzz::require;

namespace {

std::int64_t clockNow = 0;
std::int64_t fuzzClock() noexcept { return clockNow; }

/// Host sample times wrap like the hosts' own counters.
std::int64_t later(std::int64_t time, std::int64_t by)
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(time) + static_cast<std::uint64_t>(by));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    SondrelTest::Rig rig;
    clockNow = input.ConsumeIntegral<std::int8_t>();  // a clock that stands still, even at or below 0
    rig.kernel.setWallClock(&fuzzClock);

    using Take = std::vector<std::pair<Message, std::int64_t>>;  // bytes, sample time
    std::deque<Take> takes;  // the model: newest first, at most five
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
            rig.kernel.setSampleRate(std::bit_cast<float>(input.ConsumeIntegral<std::uint32_t>()));
        }
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
        require(rig.kernel.process(timestamp, events) == (hostTold ? Corvel::noErr : Corvel::cannotDoInCurrentContext));
        // Everything goes out as it came in; recorded are MIDI events while playing, not bypassed,
        // a new take starting whenever an event is earlier than the last one kept.
        require(rig.output.received.size() == (hostTold ? events.size() : 0));
        const bool recording = hostTold && (rig.host.flags & 6) != 0 && !rig.kernel.shouldBypassEffect;
        for (std::size_t i = 0; i < rig.output.received.size(); ++i) {
            const auto& e = events[i];
            const Message bytes(e.bytes(), e.bytes() + e.length);
            require(rig.output.received[i] == (SondrelTest::PassedOn{e.sampleTime, e.cable, bytes}));
            if (!recording || e.type != Corvel::RenderEventType::MIDI)
                continue;
            if (takes.empty() || e.sampleTime < takes.front().back().second) {
                takes.push_front({{{0xC0, 0x00}, 0}});
                if (takes.size() > 5)
                    takes.pop_back();
            }
            takes.front().emplace_back(bytes, e.sampleTime);
        }
    }

    require(rig.kernel.savedRecordingCount.load() == takes.size());
    for (int i = 0; i < 5; ++i) {
        const auto slot = rig.recorder([i](const Corvel::MIDIRecorder& r) { return r.getEventDetailsByIndex(i); });
        const auto index = static_cast<std::size_t>(i);
        require((slot.startTime > 0) == (index < takes.size()));
        if (index >= takes.size())
            continue;
        // Every take can be told apart: the newer, the later it started.
        require(i == 0 || slot.startTime < rig.recorder([i](const auto& r) { return r.getEventDetailsByIndex(i - 1).startTime; }));
        Take kept;
        std::size_t channelMessages = 0;
        for (const auto& e : slot.events) {
            kept.emplace_back(e.data.toVector(), e.sampleTime);
            channelMessages += SondrelFuzz::isCompleteChannelMessage(kept.back().first) ? 1 : 0;
        }
        require(kept == takes[index]);
        const auto file = Corvel::MidiFileWriter::write(slot.events);
        require(SondrelFuzz::readBack(file).first.size() == channelMessages);
        SondrelFuzz::requireSameWithTempo(file, Corvel::MidiFileWriter::write(slot.events, {.withTempo = true}));
    }
    return 0;
}
