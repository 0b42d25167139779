#include "MidiFileReader.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace Corvel {

namespace {

/// Why a file cannot be read; caught in MidiFileReader::read.
struct Unreadable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string hexByte(std::uint8_t b)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(b));
    return text;
}

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes, std::size_t at, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

/// Reads one track chunk into events with ticks relative to the track's start.
class TrackParser {
public:
    TrackParser(std::span<const std::uint8_t> chunk, std::size_t fileOffset, std::uint16_t track, MidiFile& out,
                std::vector<MidiFileEvent>& events)
        : chunk(chunk), fileOffset(fileOffset), track(track), out(out), events(events)
    {}

    /// Returns the track's length in ticks.
    std::uint64_t parse()
    {
        std::uint64_t tick = 0;
        int runningStatus = -1;
        while (pos < chunk.size()) {
            tick += readVariableLength();
            const std::uint8_t lead = next("an event");
            if (lead == 0xFF) {
                const std::uint8_t type = next("a meta event");
                const std::uint32_t length = readVariableLength();
                const std::size_t start = take(length, "a meta event");
                if (type == 0x2F)
                    return tick;  // End of Track: whatever follows is not part of the track
                add(tick, MidiFileEvent::Kind::meta, type, {}, start, length);
            } else if (lead == 0xF0 || lead == 0xF7) {
                const std::uint32_t length = readVariableLength();
                const std::size_t start = take(length, "a system-exclusive event");
                if (lead == 0xF0)
                    add(tick, MidiFileEvent::Kind::sysEx, 0, {0xF0}, start, length);
                else
                    add(tick, MidiFileEvent::Kind::sysExEscape, 0, {}, start, length);
            } else if (lead > 0xF0) {
                fail("unexpected status byte " + hexByte(lead) + " at byte " + std::to_string(where(pos - 1)));
            } else {
                std::uint8_t status = lead;
                if (lead < 0x80) {
                    if (runningStatus < 0)
                        fail("running status without a preceding status byte at byte "
                             + std::to_string(where(pos - 1)));
                    status = static_cast<std::uint8_t>(runningStatus);
                    --pos;  // the byte was the first data byte
                }
                runningStatus = status;
                const std::uint32_t dataBytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
                const std::size_t start = take(dataBytes, "a channel message");
                for (std::uint32_t i = 0; i < dataBytes; ++i)
                    if (chunk[start + i] >= 0x80)
                        fail("data byte expected at byte " + std::to_string(where(start + i)) + ", found "
                             + hexByte(chunk[start + i]));
                add(tick, MidiFileEvent::Kind::channel, 0, {status}, start, dataBytes);
            }
        }
        return tick;  // no End of Track: the chunk's end closes the track
    }

private:
    [[noreturn]] void fail(const std::string& why) const
    {
        throw Unreadable("track " + std::to_string(track + 1) + ": " + why);
    }

    std::size_t where(std::size_t chunkPos) const { return fileOffset + chunkPos; }

    std::uint8_t next(const char* what)
    {
        if (pos >= chunk.size())
            fail(std::string("ends in the middle of ") + what);
        return chunk[pos++];
    }

    /// Skips `length` bytes and returns where they start.
    std::size_t take(std::uint32_t length, const char* what)
    {
        if (length > chunk.size() - pos)
            fail(std::string("ends in the middle of ") + what + " (" + std::to_string(length) + " bytes from byte "
                 + std::to_string(where(pos)) + ", " + std::to_string(chunk.size() - pos) + " left)");
        const std::size_t start = pos;
        pos += length;
        return start;
    }

    /// At most four bytes, as the format allows.
    std::uint32_t readVariableLength()
    {
        const std::size_t start = pos;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = next("a variable-length quantity");
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80) == 0)
                return value;
        }
        fail("variable-length quantity longer than 4 bytes at byte " + std::to_string(where(start)));
    }

    void add(std::uint64_t tick, MidiFileEvent::Kind kind, std::uint8_t metaType,
             std::initializer_list<std::uint8_t> prefix, std::size_t start, std::uint32_t length)
    {
        MidiFileEvent& e = events.emplace_back();
        e.tick = tick;
        e.track = track;
        e.kind = kind;
        e.metaType = metaType;
        e.dataOffset = static_cast<std::uint32_t>(out.data.size());
        e.dataLength = static_cast<std::uint32_t>(prefix.size() + length);
        out.data.insert(out.data.end(), prefix.begin(), prefix.end());
        out.data.insert(out.data.end(), chunk.begin() + static_cast<std::ptrdiff_t>(start),
                        chunk.begin() + static_cast<std::ptrdiff_t>(start + length));
    }

    std::span<const std::uint8_t> chunk;
    std::size_t fileOffset;
    std::uint16_t track;
    MidiFile& out;
    std::vector<MidiFileEvent>& events;
    std::size_t pos = 0;
};

void readHeader(std::span<const std::uint8_t> bytes, MidiFile& file, std::size_t& pos)
{
    if (bytes.size() < 8 || !std::equal(bytes.begin(), bytes.begin() + 4, "MThd"))
        throw Unreadable("not a Standard MIDI File (no MThd header)");
    const std::uint32_t length = bigEndian(bytes, 4, 4);
    if (length < 6)
        throw Unreadable("header chunk is " + std::to_string(length) + " bytes long, expected at least 6");
    if (length > bytes.size() - 8)
        throw Unreadable("truncated header chunk");
    file.format = static_cast<int>(bigEndian(bytes, 8, 2));
    file.trackCount = static_cast<int>(bigEndian(bytes, 10, 2));
    const std::uint32_t division = bigEndian(bytes, 12, 2);
    if (file.format > 2)
        throw Unreadable("unsupported format " + std::to_string(file.format));
    if ((division & 0x8000) != 0) {
        const int fps = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
        if (fps != 24 && fps != 25 && fps != 29 && fps != 30)
            throw Unreadable("SMPTE division with " + std::to_string(fps) + " frames per second");
        file.framesPerSecond = fps == 29 ? 30000.0 / 1001.0 : fps;
        file.ticksPerFrame = static_cast<int>(division & 0xFF);
        if (file.ticksPerFrame == 0)
            throw Unreadable("SMPTE division with 0 ticks per frame");
    } else {
        file.ticksPerQuarterNote = static_cast<int>(division);
        if (file.ticksPerQuarterNote == 0)
            throw Unreadable("division of 0 ticks per quarter note");
    }
    pos = 8 + std::size_t{length};
}

MidiFile readFile(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > MidiFileReader::maximumFileSize)
        throw Unreadable("file larger than " + std::to_string(MidiFileReader::maximumFileSize >> 20) + " MiB");
    MidiFile file;
    std::size_t pos = 0;
    readHeader(bytes, file, pos);

    // Every event takes at least two bytes of its track, so this much room is never outgrown
    // (and what is reserved but not used is never touched).
    std::vector<MidiFileEvent> events;
    events.reserve((bytes.size() - pos) / 2);
    std::vector<std::uint64_t> trackLengths;
    int tracksRead = 0;
    while (tracksRead < file.trackCount) {
        if (pos == bytes.size())
            throw Unreadable("file ends after " + std::to_string(tracksRead) + " of " + std::to_string(file.trackCount)
                             + " tracks");
        if (bytes.size() - pos < 8)
            throw Unreadable("truncated chunk header at byte " + std::to_string(pos));
        const bool isTrack = std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                                        bytes.begin() + static_cast<std::ptrdiff_t>(pos + 4), "MTrk");
        const std::uint32_t length = bigEndian(bytes, pos + 4, 4);
        const std::size_t body = pos + 8;
        if (length > bytes.size() - body)
            throw Unreadable((isTrack ? "track " + std::to_string(tracksRead + 1) : std::string("chunk")) + " at byte "
                             + std::to_string(pos) + " claims " + std::to_string(length) + " bytes but only "
                             + std::to_string(bytes.size() - body) + " remain");
        if (isTrack) {
            const std::size_t first = events.size();
            TrackParser parser(bytes.subspan(body, length), body, static_cast<std::uint16_t>(tracksRead), file, events);
            std::uint64_t trackLength = parser.parse();
            if (file.format == 2 && !trackLengths.empty()) {
                // Independent sequences play one after the other.
                const std::uint64_t offset = trackLengths.back();
                for (std::size_t i = first; i < events.size(); ++i)
                    events[i].tick += offset;
                trackLength += offset;
            }
            trackLengths.push_back(trackLength);
            ++tracksRead;
        }
        pos = body + length;
    }

    const auto byTick = [](const MidiFileEvent& a, const MidiFileEvent& b) { return a.tick < b.tick; };
    if (!std::is_sorted(events.begin(), events.end(), byTick))  // one track is in order already
        std::stable_sort(events.begin(), events.end(), byTick);

    const bool smpte = file.ticksPerQuarterNote == 0;
    const double ticksPerSecond = smpte ? file.framesPerSecond * file.ticksPerFrame : 0.0;
    const auto beatsOfTick = [&](std::uint64_t tick) {
        return smpte ? file.tempoMap.beatsAt(static_cast<double>(tick) / ticksPerSecond)
                     : static_cast<double>(tick) / file.ticksPerQuarterNote;
    };

    // Tempo first (it places everything else), then time signatures.
    for (const MidiFileEvent& e : events) {
        if (e.kind != MidiFileEvent::Kind::meta || e.metaType != 0x51 || e.dataLength < 3)
            continue;
        const std::uint32_t microsecondsPerQuarter = bigEndian(file.data, e.dataOffset, 3);
        if (microsecondsPerQuarter == 0)
            continue;  // no finite tempo: keep the one before
        const double bpm = 60'000'000.0 / microsecondsPerQuarter;
        if (smpte)
            file.tempoMap.addChangeAtSeconds(static_cast<double>(e.tick) / ticksPerSecond, bpm);
        else
            file.tempoMap.addChangeAtBeats(static_cast<double>(e.tick) / file.ticksPerQuarterNote, bpm);
    }
    for (MidiFileEvent& e : events) {
        if (smpte) {
            e.seconds = static_cast<double>(e.tick) / ticksPerSecond;
            e.beats = file.tempoMap.beatsAt(e.seconds);
        } else {
            e.beats = static_cast<double>(e.tick) / file.ticksPerQuarterNote;
            e.seconds = file.tempoMap.secondsAt(e.beats);
        }
        if (e.kind == MidiFileEvent::Kind::meta && e.metaType == 0x58 && e.dataLength >= 2) {
            const int numerator = file.data[e.dataOffset];
            const int power = file.data[e.dataOffset + 1];
            if (numerator == 0 || power > 6)
                continue;
            const TimeSignature signature{e.beats, numerator, 1 << power};
            if (!file.timeSignatures.empty() && file.timeSignatures.back().beats == e.beats)
                file.timeSignatures.back() = signature;
            else
                file.timeSignatures.push_back(signature);
        }
    }

    const std::uint64_t lastTick = trackLengths.empty() ? 0
                                                        : *std::max_element(trackLengths.begin(), trackLengths.end());
    file.lengthBeats = beatsOfTick(lastTick);
    file.lengthSeconds = smpte ? static_cast<double>(lastTick) / ticksPerSecond
                               : file.tempoMap.secondsAt(file.lengthBeats);
    file.events = std::move(events);
    return file;
}

}  // namespace

MidiFileReader::Result MidiFileReader::read(std::span<const std::uint8_t> bytes)
{
    try {
        return {readFile(bytes), {}};
    } catch (const Unreadable& e) {
        return {std::nullopt, e.what()};
    } catch (const std::bad_alloc&) {
        return {std::nullopt, "not enough memory to read the file"};
    }
}

}  // namespace Corvel
