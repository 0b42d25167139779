#include "RecordingSummary.h"

#include <algorithm>
#include <functional>

namespace {

juce::Time wholeSeconds(std::int64_t milliseconds)
{
    // Truncated toward zero, as integer division does.
    return juce::Time((milliseconds / 1000) * 1000);
}

}  // namespace

RecordingSummary::RecordingSummary(int slot, std::int64_t start, std::int64_t count, double seconds, bool stopped,
                                   std::uint64_t lost)
    : index(slot), startTime(wholeSeconds(start)), originalStartTime(start), capturedWhileStopped(stopped),
      noteCount(count), duration(seconds), lostEvents(lost)
{}

bool RecordingSummary::sameAs(const RecordingSummary& other) const
{
    return index == other.index && startTime == other.startTime && noteCount.peek() == other.noteCount.peek()
        && duration.peek() == other.duration.peek() && capturedWhileStopped == other.capturedWhileStopped
        && lostEvents.peek() == other.lostEvents.peek();
}

std::size_t RecordingSummary::hash() const
{
    // -0.0 and 0.0 are equal, so they hash alike.
    const double seconds = duration.peek() == 0.0 ? 0.0 : duration.peek();
    std::size_t h = 0;
    const auto combine = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2); };
    combine(std::hash<int>{}(index));
    combine(std::hash<juce::int64>{}(startTime.toMilliseconds()));
    combine(std::hash<std::int64_t>{}(noteCount.peek()));
    combine(std::hash<double>{}(seconds));
    return h;
}

bool SummaryListsEqual::operator()(const RecordingSummaries& a, const RecordingSummaries& b) const
{
    // Also the same recordings: views keep the summary objects they were built from, so a list of
    // other recordings that merely look alike (same second, same count) must reach them too.
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x == y || (x && y && x->sameAs(*y) && x->originalStartTime == y->originalStartTime);
    });
}
