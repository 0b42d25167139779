#include "EventList.h"

#include <algorithm>
#include <bit>

namespace Corvel {

RecordedMIDIEvent EventList::operator[](std::size_t index) const
{
    const Entry& e = entry(index);
    return RecordedMIDIEvent{e.data, e.sampleTime, bpmAt(index), e.beatPosition};
}

double EventList::bpmAt(std::size_t index) const noexcept
{
    // The last run that starts at or before the index.
    auto run = std::upper_bound(tempos.begin(), tempos.end(), index,
                                [](std::size_t i, const TempoRun& r) { return i < r.firstIndex; });
    return std::prev(run)->bpm;
}

void EventList::appendTempo(double bpm)
{
    // Runs are compared bit for bit, so NaN tempos and signed zeros are kept exactly.
    if (tempos.empty() || std::bit_cast<std::uint64_t>(tempos.back().bpm) != std::bit_cast<std::uint64_t>(bpm))
        tempos.push_back({count, bpm});
}

EventList::Entry& EventList::appendEntry()
{
    if (chunks.empty() || chunks.back().size() == chunkCapacity) {
        chunks.emplace_back();
        chunks.back().reserve(chunkCapacity);
    }
    return chunks.back().emplace_back();
}

void EventList::push_back(const RecordedMIDIEvent& event)
{
    appendTempo(event.bpm);
    Entry& e = appendEntry();
    e.data = event.data;
    e.sampleTime = event.sampleTime;
    e.beatPosition = event.beatPosition;
    ++count;
}

void EventList::push_back(RecordedMIDIEvent&& event)
{
    appendTempo(event.bpm);
    Entry& e = appendEntry();
    e.data = std::move(event.data);
    e.sampleTime = event.sampleTime;
    e.beatPosition = event.beatPosition;
    ++count;
}

void EventList::clear() noexcept
{
    chunks = {};
    tempos = {};
    count = 0;
}

std::vector<RecordedMIDIEvent> EventList::toVector() const
{
    std::vector<RecordedMIDIEvent> out;
    out.reserve(count);
    std::size_t run = 0;
    for (std::size_t i = 0; i < count; ++i) {
        while (run + 1 < tempos.size() && tempos[run + 1].firstIndex <= i)
            ++run;
        const Entry& e = entry(i);
        out.push_back({e.data, e.sampleTime, tempos[run].bpm, e.beatPosition});
    }
    return out;
}

bool operator==(const EventList& a, const EventList& b)
{
    return a.count == b.count && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace Corvel
