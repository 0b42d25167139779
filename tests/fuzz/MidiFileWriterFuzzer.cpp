// The MIDI file writer on any recording: every file it writes, plain and with the tempo, from a
// vector or from a recording's own storage, is read back by the project's reader with exactly
// the complete channel messages, in sample-time order.

#include "FuzzSupport.h"
#include "MidiFileWriter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <bit>

using SondrelFuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    std::vector<Corvel::RecordedMIDIEvent> events;
    while (input.remaining_bytes() > 0 && events.size() < 256) {
        const auto bytes = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 9));
        Corvel::RecordedMIDIEvent e;
        e.data = Corvel::MidiBytes(bytes);
        e.sampleTime = input.ConsumeBool() ? input.ConsumeIntegral<std::int64_t>()
                                           : input.ConsumeIntegral<std::int16_t>();
        e.bpm = std::bit_cast<double>(input.ConsumeIntegral<std::uint64_t>());  // NaN, infinities, anything
        e.beatPosition = input.ConsumeBool() ? std::bit_cast<double>(input.ConsumeIntegral<std::uint64_t>())
                                             : input.ConsumeIntegral<std::int16_t>() / 7.0;
        events.push_back(std::move(e));
    }

    std::vector<Corvel::RecordedMIDIEvent> ordered = events;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.sampleTime < b.sampleTime; });
    std::vector<std::vector<std::uint8_t>> expected;
    for (const auto& e : ordered)
        if (SondrelFuzz::isCompleteChannelMessage(e.data.toVector()))
            expected.push_back(e.data.toVector());

    const std::vector<std::uint8_t> file = Corvel::MidiFileWriter::write(events);
    Corvel::EventList list;  // a recording's own storage writes the same file
    for (const auto& e : events)
        list.push_back(e);
    require(Corvel::MidiFileWriter::write(list) == file);
    std::vector<std::vector<std::uint8_t>> written;
    for (const auto& [tick, bytes] : SondrelFuzz::readBack(file).first)
        written.push_back(bytes);
    require(written == expected);
    SondrelFuzz::requireSameWithTempo(file, Corvel::MidiFileWriter::write(events, {.withTempo = true}));
    return 0;
}
