#include "RecordingArchive.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace Corvel {

namespace {

constexpr std::uint8_t magic[4] = {'M', 'S', 'T', 'K'};
constexpr std::uint32_t version = 2;
constexpr std::uint8_t capturedWhileStoppedFlag = 1;
constexpr std::size_t takeHeaderSize = 8 + 4 + 1 + 8 + 8;
constexpr std::size_t eventHeaderSize = 8 + 8 + 8 + 1;

template <typename T>
void put(std::vector<std::uint8_t>& out, T value)
{
    static_assert(std::endian::native == std::endian::little, "the archive is little-endian");
    std::uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

/// Reads from a span, failing (once and for good) past its end.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : data(bytes) {}
    template <typename T>
    T get()
    {
        T value{};
        if (!take(sizeof(T)))
            return value;
        std::memcpy(&value, data.data() + offset - sizeof(T), sizeof(T));
        return value;
    }
    const std::uint8_t* bytes(std::size_t count) { return take(count) ? data.data() + offset - count : nullptr; }
    std::size_t remaining() const noexcept { return data.size() - offset; }
    bool ok() const noexcept { return good; }

private:
    bool take(std::size_t count)
    {
        good = good && count <= remaining();
        if (good)
            offset += count;
        return good;
    }
    std::span<const std::uint8_t> data;
    std::size_t offset = 0;
    bool good = true;
};

std::size_t encodedEventBytes(const EventList& events)
{
    std::size_t total = 0;
    for (std::size_t i = 0; i < events.size(); ++i)
        total += eventHeaderSize + events.dataAt(i).size();
    return total;
}

}  // namespace

RecordingArchive::Encoded RecordingArchive::encode(const MIDIRecorder& recorder, std::size_t eventByteLimit)
{
    Encoded result;
    std::vector<const Recording*> kept;
    std::size_t eventBytes = 0;
    bool full = false;
    for (int i = 0; i < recorder.getRecordingCount(); ++i) {
        const Recording& r = recorder.getEventDetailsByIndex(i);
        if (r.startTime <= 0)
            continue;
        ++result.takesInUse;
        const std::size_t size = encodedEventBytes(r.events);
        full = full || size > eventByteLimit - std::min(eventBytes, eventByteLimit);
        if (full)
            continue;
        eventBytes += size;
        kept.push_back(&r);
    }
    result.takesKept = static_cast<int>(kept.size());

    auto& out = result.bytes;
    out.reserve(12 + kept.size() * takeHeaderSize + eventBytes);
    out.insert(out.end(), std::begin(magic), std::end(magic));
    put(out, version);
    put(out, static_cast<std::uint32_t>(kept.size()));
    for (const Recording* r : kept) {
        put(out, r->startTime);
        put(out, r->sampleRate);
        put(out, static_cast<std::uint8_t>(r->capturedWhileStopped ? capturedWhileStoppedFlag : 0));
        put(out, r->lostEventCount);
        put(out, static_cast<std::uint64_t>(r->events.size()));
        for (std::size_t i = 0; i < r->events.size(); ++i) {
            const MidiBytes& data = r->events.dataAt(i);
            const RecordedMIDIEvent e = r->events[i];
            put(out, e.sampleTime);
            put(out, e.bpm);
            put(out, e.beatPosition);
            put(out, static_cast<std::uint8_t>(std::min<std::size_t>(data.size(), 255)));
            out.insert(out.end(), data.begin(), data.begin() + std::min<std::size_t>(data.size(), 255));
        }
    }
    return result;
}

std::optional<std::vector<Recording>> RecordingArchive::decode(std::span<const std::uint8_t> bytes, int slotCount)
{
    Reader in(bytes);
    const std::uint8_t* head = in.bytes(sizeof magic);
    if (head == nullptr || !std::equal(std::begin(magic), std::end(magic), head))
        return std::nullopt;
    const auto archiveVersion = in.get<std::uint32_t>();
    if (archiveVersion != 1 && archiveVersion != version)
        return std::nullopt;
    const auto takes = in.get<std::uint32_t>();
    if (!in.ok() || takes > static_cast<std::uint32_t>(std::max(slotCount, 0)))
        return std::nullopt;

    std::vector<Recording> recordings(takes);
    for (Recording& r : recordings) {
        r.startTime = in.get<std::int64_t>();
        r.sampleRate = in.get<float>();
        const auto flags = archiveVersion >= 2 ? in.get<std::uint8_t>() : std::uint8_t{0};
        r.capturedWhileStopped = (flags & capturedWhileStoppedFlag) != 0;
        r.lostEventCount = archiveVersion >= 2 ? in.get<std::uint64_t>() : 0;
        const auto count = in.get<std::uint64_t>();
        if (!in.ok() || r.startTime <= 0 || (flags & ~capturedWhileStoppedFlag) != 0
            || count > in.remaining() / eventHeaderSize)
            return std::nullopt;
        // Takes are told apart by their start times: a time taken already moves on a millisecond.
        const auto sameStart = [&](const Recording& other) { return other.startTime == r.startTime; };
        while (std::count_if(recordings.begin(), recordings.end(), sameStart) > 1)
            ++r.startTime;
        for (std::uint64_t i = 0; i < count; ++i) {
            RecordedMIDIEvent e;
            e.sampleTime = in.get<std::int64_t>();
            e.bpm = in.get<double>();
            e.beatPosition = in.get<double>();
            const auto length = in.get<std::uint8_t>();
            const std::uint8_t* data = in.bytes(length);
            if (data == nullptr)
                return std::nullopt;
            e.data = MidiBytes(data, length);
            r.events.push_back(std::move(e));
        }
    }
    if (!in.ok() || in.remaining() != 0)
        return std::nullopt;
    return recordings;
}

}  // namespace Corvel
