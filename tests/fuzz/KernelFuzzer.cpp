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

using SondrelFuzz::require;

namespace {

using Message = std::vector<std::uint8_t>;
using Take = std::vector<std::pair<Message, std::int64_t>>;  // bytes, sample time

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

    std::deque<Take> takes;  // the model: newest first, at most five
    std::int64_t last = 0;
    std::vector<SondrelTest::PassedOn> passedOn;
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
            if (kind < 16) {
                sysEx.push_back(input.ConsumeBytes<std::uint8_t>(kind));
                events.push_back(Corvel::RenderEvent::sysEx(t, sysEx.back().data(), static_cast<std::uint16_t>(sysEx.back().size())));
            } else {
                const Message bytes = input.ConsumeBytes<std::uint8_t>(kind % 4);
                events.push_back(Corvel::RenderEvent::midi(t, bytes.data(), static_cast<std::uint16_t>(bytes.size())));
            }
        }
        rig.output.received.clear();
        const std::int32_t status = rig.kernel.process(timestamp, events);
        require(status == (rig.host.contextOk && rig.host.transportOk ? Corvel::noErr : Corvel::cannotDoInCurrentContext));
        if (status != Corvel::noErr) {
            require(rig.output.received.empty());
            continue;
        }
        // Everything goes out as it came in; recorded are MIDI events while playing, not bypassed,
        // a new take starting whenever an event is earlier than the last one kept.
        const bool recording = (rig.host.flags & 6) != 0 && !rig.kernel.shouldBypassEffect;
        require(rig.output.received.size() == events.size());
        for (std::size_t i = 0; i < events.size(); ++i) {
            const auto& e = events[i];
            const Message bytes(e.bytes(), e.bytes() + e.length);
            require(rig.output.received[i] == (SondrelTest::PassedOn{e.sampleTime, e.cable, bytes}));
            if (!recording || e.type != Corvel::RenderEventType::MIDI)
                continue;
            if (takes.empty() || e.sampleTime < last) {
                takes.push_front({{{0xC0, 0x00}, 0}});
                if (takes.size() > 5)
                    takes.pop_back();
            }
            takes.front().emplace_back(bytes, e.sampleTime);
            last = e.sampleTime;
        }
    }

    const auto slots = rig.recorder([](const Corvel::MIDIRecorder& r) {
        std::vector<Corvel::Recording> all;
        for (int i = 0; i < r.getRecordingCount(); ++i)
            all.push_back(r.getEventDetailsByIndex(i));
        return all;
    });
    require(rig.kernel.savedRecordingCount.load() == takes.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const Corvel::Recording& slot = slots[i];
        require((slot.startTime > 0) == (i < takes.size()));
        if (i >= takes.size())
            continue;
        require(i == 0 || slot.startTime < slots[i - 1].startTime);  // every take can be told apart
        Take kept;
        std::size_t channelMessages = 0;
        for (const auto& e : slot.events) {
            kept.emplace_back(e.data.toVector(), e.sampleTime);
            channelMessages += SondrelFuzz::isCompleteChannelMessage(kept.back().first) ? 1 : 0;
        }
        require(kept == takes[i]);
        const auto plain = SondrelFuzz::readBack(Corvel::MidiFileWriter::write(slot.events));
        require(plain.channel.size() == channelMessages);
        SondrelFuzz::requireSameWithTempo(plain, SondrelFuzz::readBack(Corvel::MidiFileWriter::write(slot.events, {.withTempo = true})));
    }
    return 0;
}
