#include "MidiFileWriter.h"

#include "MIDIRecorder.h"
#include "SampleMath.h"

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
    const double ticks = MidiFileWriter::nearestTick(beatPosition);
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

/// Microseconds per quarter note for a Set Tempo event, or 0 when the tempo is unusable.
std::uint32_t microsecondsPerQuarter(double bpm) noexcept
{
    if (!isUsableTempo(bpm))
        return 0;
    constexpr double largest = 0xFFFFFF;  // three bytes
    return static_cast<std::uint32_t>(std::clamp(std::round(60'000'000.0 / bpm), 1.0, largest));
}

std::uint8_t* writeSetTempo(std::uint8_t* out, std::uint32_t delta, std::uint32_t microseconds) noexcept
{
    out = writeVariableLengthQuantity(out, delta);
    const std::uint8_t event[] = {0xFF,
                                  0x51,
                                  0x03,
                                  static_cast<std::uint8_t>(microseconds >> 16),
                                  static_cast<std::uint8_t>(microseconds >> 8),
                                  static_cast<std::uint8_t>(microseconds)};
    return std::copy(std::begin(event), std::end(event), out);
}

/// Source: anything with size(), sampleTimeAt(i), beatPositionAt(i), bpmAt(i) and dataAt(i).
template <typename Source>
std::vector<std::uint8_t> writeMidiFile(const Source& source, MidiFileOptions options)
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
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return source.sampleTimeAt(a) < source.sampleTimeAt(b); });
    }

    // Per event at most a four-byte delta and its bytes, and with the tempo a Set Tempo event.
    constexpr std::size_t setTempoSize = 4 + 6;
    static constexpr std::uint8_t timeSignature[] = {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08};
    std::size_t upperBound = 14 + 8 + 4 + (options.withTempo ? sizeof timeSignature + setTempoSize : 0);
    for (std::size_t i = 0; i < count; ++i)
        upperBound += 4 + source.dataAt(i).size() + (options.withTempo ? setTempoSize : 0);

    std::vector<std::uint8_t> file(upperBound);
    std::uint8_t* out = file.data();
    static constexpr std::uint8_t header[] = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                                              0,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};
    out = std::copy(std::begin(header), std::end(header), out);
    std::uint8_t* const lengthField = out;
    out += 4;
    std::uint8_t* const trackStart = out;

    // The tempo in force: the first usable one of a written event goes at tick 0, every change at
    // the tick of the written event where it changed.
    std::uint32_t tempo = 0;
    if (options.withTempo) {
        out = std::copy(std::begin(timeSignature), std::end(timeSignature), out);
        for (std::size_t k = 0; k < count && tempo == 0; ++k) {
            const std::size_t i = sorted ? k : order[k];
            tempo = MidiFileWriter::isWritten(source.dataAt(i)) ? microsecondsPerQuarter(source.bpmAt(i)) : 0;
        }
        if (tempo != 0)
            out = writeSetTempo(out, 0, tempo);
    }

    // The written tick never decreases and never goes below zero; a delta never needs more
    // than four bytes. A non-finite beat position stays at the previous tick.
    std::int64_t previousTick = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t i = sorted ? k : order[k];
        const MidiBytes& bytes = source.dataAt(i);
        if (!MidiFileWriter::isWritten(bytes))
            continue;
        std::int64_t tick = ticksForBeat(source.beatPositionAt(i));
        tick = std::max(tick, previousTick);
        auto delta = static_cast<std::uint32_t>(std::min<std::int64_t>(tick - previousTick, maxVariableLengthQuantity));
        previousTick += delta;
        if (options.withTempo) {
            const std::uint32_t eventTempo = microsecondsPerQuarter(source.bpmAt(i));
            if (eventTempo != 0 && eventTempo != tempo) {
                out = writeSetTempo(out, delta, eventTempo);
                tempo = eventTempo;
                delta = 0;
            }
        }
        out = writeVariableLengthQuantity(out, delta);
        out = std::copy(bytes.begin(), bytes.end(), out);
    }
    static constexpr std::uint8_t endOfTrack[] = {0x00, 0xFF, 0x2F, 0x00};
    out = std::copy(std::begin(endOfTrack), std::end(endOfTrack), out);

    writeBigEndian32(lengthField, static_cast<std::uint32_t>(out - trackStart));
    file.resize(static_cast<std::size_t>(out - file.data()));
    return file;
}

/// A source whose events are placed by their sample times on a beat grid, all at its tempo.
struct GridSource {
    const EventList& events;
    BeatGrid grid;
    std::size_t size() const noexcept { return events.size(); }
    std::int64_t sampleTimeAt(std::size_t i) const noexcept { return events.sampleTimeAt(i); }
    double beatPositionAt(std::size_t i) const noexcept
    {
        return beatPositionOfEvent(0.0, events.sampleTimeAt(i), grid.firstBeatSampleTime, grid.sampleRate, grid.bpm);
    }
    double bpmAt(std::size_t) const noexcept { return grid.bpm; }
    const MidiBytes& dataAt(std::size_t i) const noexcept { return events.dataAt(i); }
};

struct VectorSource {
    const std::vector<RecordedMIDIEvent>& events;
    std::size_t size() const noexcept { return events.size(); }
    std::int64_t sampleTimeAt(std::size_t i) const noexcept { return events[i].sampleTime; }
    double beatPositionAt(std::size_t i) const noexcept { return events[i].beatPosition; }
    double bpmAt(std::size_t i) const noexcept { return events[i].bpm; }
    const MidiBytes& dataAt(std::size_t i) const noexcept { return events[i].data; }
};

}  // namespace

bool MidiFileWriter::isWritten(const MidiBytes& message) noexcept
{
    if (message.empty() || message[0] < 0x80 || message[0] >= 0xF0)
        return false;
    const std::size_t dataBytes = (message[0] & 0xE0) == 0xC0 ? 1 : 2;  // Cn and Dn take one
    return message.size() == dataBytes + 1
        && std::all_of(message.begin() + 1, message.end(), [](std::uint8_t b) { return b < 0x80; });
}

double MidiFileWriter::nearestTick(double beatPosition) noexcept
{
    return std::round(beatPosition * MIDIRecorder::ticksPerQuarterNote);
}

std::vector<std::uint8_t> MidiFileWriter::write(const std::vector<RecordedMIDIEvent>& events, Options options)
{
    return writeMidiFile(VectorSource{events}, options);
}

std::vector<std::uint8_t> MidiFileWriter::write(const EventList& events, Options options)
{
    return writeMidiFile(events, options);
}

std::vector<std::uint8_t> MidiFileWriter::writeOnGrid(const EventList& events, BeatGrid grid)
{
    if (!isUsableTempo(grid.bpm) || !isUsableSampleRate(grid.sampleRate))
        return writeMidiFile(events, {.withTempo = true});
    return writeMidiFile(GridSource{events, grid}, {.withTempo = true});
}

std::vector<std::uint8_t> MIDIRecorder::convertToMIDIBytes(const std::vector<RecordedMIDIEvent>& events)
{
    return MidiFileWriter::write(events);
}

std::vector<std::uint8_t> MIDIRecorder::convertToMIDIBytes(const EventList& events)
{
    return MidiFileWriter::write(events);
}

}  // namespace Corvel
