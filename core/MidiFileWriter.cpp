#include "MidiFileWriter.h"

#include "MIDIRecorder.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Corvel {

namespace {

constexpr std::uint32_t maxVariableLengthQuantity = 0x0FFFFFFF;  // four bytes

/// Ticks at 480 per quarter note, halves away from zero. Non-finite positions give -1 so that
/// the caller keeps the previous tick; huge values saturate instead of overflowing the cast.
std::int64_t ticksForBeat(double beatPosition) noexcept
{
    if (!std::isfinite(beatPosition))
        return -1;
    const double ticks = std::round(beatPosition * MIDIRecorder::ticksPerQuarterNote);
    if (ticks <= 0.0)
        return 0;
    constexpr double ceiling = 4611686018427387904.0;  // 2^62
    return ticks >= ceiling ? static_cast<std::int64_t>(ceiling) : static_cast<std::int64_t>(ticks);
}

std::uint8_t* writeVariableLengthQuantity(std::uint8_t* out, std::uint32_t value) noexcept
{
    std::uint8_t groups[4];
    int n = 0;
    groups[n++] = value & 0x7F;
    while ((value >>= 7) != 0)
        groups[n++] = static_cast<std::uint8_t>((value & 0x7F) | 0x80);
    while (n > 0)
        *out++ = groups[--n];
    return out;
}

std::uint8_t* writeBigEndian32(std::uint8_t* out, std::uint32_t value) noexcept
{
    *out++ = static_cast<std::uint8_t>(value >> 24);
    *out++ = static_cast<std::uint8_t>(value >> 16);
    *out++ = static_cast<std::uint8_t>(value >> 8);
    *out++ = static_cast<std::uint8_t>(value);
    return out;
}

/// Source: anything with size(), sampleTimeAt(i), beatPositionAt(i) and dataAt(i).
template <typename Source>
std::vector<std::uint8_t> writeMidiFile(const Source& source)
{
    const std::size_t count = source.size();

    // Events are normally already in sample-time order (a recording starts anew when time goes
    // back); only sort, by index and stably, when they are not.
    std::vector<std::size_t> order;
    bool sorted = true;
    for (std::size_t i = 1; i < count && sorted; ++i)
        sorted = source.sampleTimeAt(i - 1) <= source.sampleTimeAt(i);
    if (!sorted) {
        order.resize(count);
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return source.sampleTimeAt(a) < source.sampleTimeAt(b);
        });
    }

    std::size_t upperBound = 14 + 8 + 4;
    for (std::size_t i = 0; i < count; ++i)
        upperBound += 4 + source.dataAt(i).size();

    std::vector<std::uint8_t> file(upperBound);
    std::uint8_t* out = file.data();
    static constexpr std::uint8_t header[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,
                                              'M', 'T', 'r', 'k'};
    out = std::copy(std::begin(header), std::end(header), out);
    std::uint8_t* const lengthField = out;
    out += 4;
    std::uint8_t* const trackStart = out;

    // The written tick never decreases and never goes below zero; a delta never needs more
    // than four bytes. A non-finite beat position stays at the previous tick.
    std::int64_t previousTick = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t i = sorted ? k : order[k];
        std::int64_t tick = ticksForBeat(source.beatPositionAt(i));
        tick = std::max(tick, previousTick);
        const auto delta = static_cast<std::uint32_t>(
            std::min<std::int64_t>(tick - previousTick, maxVariableLengthQuantity));
        out = writeVariableLengthQuantity(out, delta);
        const MidiBytes& bytes = source.dataAt(i);
        out = std::copy(bytes.begin(), bytes.end(), out);
        previousTick += delta;
    }
    static constexpr std::uint8_t endOfTrack[] = {0x00, 0xFF, 0x2F, 0x00};
    out = std::copy(std::begin(endOfTrack), std::end(endOfTrack), out);

    writeBigEndian32(lengthField, static_cast<std::uint32_t>(out - trackStart));
    file.resize(static_cast<std::size_t>(out - file.data()));
    return file;
}

struct VectorSource {
    const std::vector<RecordedMIDIEvent>& events;
    std::size_t size() const noexcept { return events.size(); }
    std::int64_t sampleTimeAt(std::size_t i) const noexcept { return events[i].sampleTime; }
    double beatPositionAt(std::size_t i) const noexcept { return events[i].beatPosition; }
    const MidiBytes& dataAt(std::size_t i) const noexcept { return events[i].data; }
};

} // namespace

std::vector<std::uint8_t> MidiFileWriter::write(const std::vector<RecordedMIDIEvent>& events)
{
    return writeMidiFile(VectorSource{events});
}

std::vector<std::uint8_t> MidiFileWriter::write(const EventList& events)
{
    return writeMidiFile(events);
}

std::vector<std::uint8_t> MIDIRecorder::convertToMIDIBytes(const std::vector<RecordedMIDIEvent>& events)
{
    return MidiFileWriter::write(events);
}

std::vector<std::uint8_t> MIDIRecorder::convertToMIDIBytes(const EventList& events)
{
    return MidiFileWriter::write(events);
}

} // namespace Corvel
