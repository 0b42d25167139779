#include "EventList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using Corvel::EventList;
using Corvel::RecordedMIDIEvent;

namespace {

RecordedMIDIEvent event(std::int64_t t, double bpm, double beat, std::uint8_t note)
{
    return {{0x90, note, 0x40}, t, bpm, beat};
}

} // namespace

TEST(EventList, HoldsEventsAcrossChunksAndTempoRuns)
{
    EventList list;
    std::vector<RecordedMIDIEvent> expected;
    const std::size_t n = EventList::chunkCapacity * 2 + 17;
    for (std::size_t i = 0; i < n; ++i) {
        // The tempo changes every 1000 events and sometimes repeats an earlier value.
        const double bpm = 100.0 + static_cast<double>((i / 1000) % 3);
        expected.push_back(event(static_cast<std::int64_t>(i * 10), bpm, static_cast<double>(i) * 0.25,
                                 static_cast<std::uint8_t>(i % 128)));
        list.push_back(expected.back());
    }

    ASSERT_EQ(list.size(), n);
    EXPECT_EQ(list.toVector(), expected);
    for (std::size_t i : {std::size_t{0}, std::size_t{999}, std::size_t{1000}, EventList::chunkCapacity,
                          n - 1}) {
        EXPECT_EQ(list[i], expected[i]) << i;
    }
    EXPECT_EQ(list.front(), expected.front());
    EXPECT_EQ(list.back(), expected.back());
    EXPECT_EQ(list.sampleTimeAt(n - 1), expected.back().sampleTime);

    // Iteration yields the same values in order.
    std::size_t i = 0;
    for (const RecordedMIDIEvent& e : list)
        EXPECT_EQ(e, expected[i++]);
    EXPECT_EQ(i, n);
}

TEST(EventList, KeepsUnusualTempoValuesBitForBit)
{
    EventList list;
    list.push_back(event(0, 0.0, 0.0, 1));
    list.push_back(event(1, -0.0, 0.0, 2));
    list.push_back(event(2, NAN, 0.0, 3));
    list.push_back(event(3, NAN, 0.0, 4));
    list.push_back(event(4, INFINITY, 0.0, 5));

    EXPECT_FALSE(std::signbit(list[0].bpm));
    EXPECT_TRUE(std::signbit(list[1].bpm));
    EXPECT_TRUE(std::isnan(list[2].bpm));
    EXPECT_TRUE(std::isnan(list[3].bpm));
    EXPECT_TRUE(std::isinf(list[4].bpm));
}

TEST(EventList, CopiesAreIndependentAndClearEmpties)
{
    EventList list;
    list.push_back(event(5, 120.0, 1.0, 60));
    EventList copy = list;
    list.push_back(event(6, 120.0, 2.0, 61));
    EXPECT_EQ(copy.size(), 1u);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_FALSE(copy == list);

    list.clear();
    EXPECT_TRUE(list.empty());
    list.push_back(event(7, 90.0, 3.0, 62));
    EXPECT_EQ(list[0].bpm, 90.0);
}
