#include "MidiBytes.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using Corvel::MidiBytes;

TEST(MidiBytes, ShortMessagesStayInlineAndKeepTheirBytes)
{
    const MidiBytes empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_TRUE(empty.isInline());

    const MidiBytes noteOn{0x90, 0x3C, 0x64};
    EXPECT_TRUE(noteOn.isInline());
    EXPECT_EQ(noteOn.toVector(), (std::vector<std::uint8_t>{0x90, 0x3C, 0x64}));

    const MidiBytes seven{1, 2, 3, 4, 5, 6, 7};
    EXPECT_TRUE(seven.isInline());
    EXPECT_EQ(seven.size(), 7u);
    EXPECT_EQ(seven[6], 7);
}

TEST(MidiBytes, LongMessagesLiveOnTheHeapAndCopyAsValues)
{
    std::vector<std::uint8_t> sysEx(300);
    std::iota(sysEx.begin(), sysEx.end(), std::uint8_t{0});
    sysEx.front() = 0xF0;
    sysEx.back() = 0xF7;

    MidiBytes original(sysEx);
    EXPECT_FALSE(original.isInline());
    EXPECT_EQ(original.toVector(), sysEx);

    MidiBytes copy = original;  // deep copy
    EXPECT_NE(copy.data(), original.data());
    EXPECT_EQ(copy, original);

    MidiBytes moved = std::move(original);
    EXPECT_EQ(moved.toVector(), sysEx);
    EXPECT_TRUE(original.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty

    // Assigning short over long and long over short keeps both sides right.
    copy = MidiBytes{0xC0, 0x05};
    EXPECT_TRUE(copy.isInline());
    EXPECT_EQ(copy.toVector(), (std::vector<std::uint8_t>{0xC0, 0x05}));
    copy = moved;
    EXPECT_EQ(copy.toVector(), sysEx);
    copy = copy;  // self-assignment
    EXPECT_EQ(copy.toVector(), sysEx);
}

TEST(MidiBytes, EqualityComparesBytesNotStorage)
{
    EXPECT_EQ((MidiBytes{0x80, 0x40, 0x00}), (MidiBytes{0x80, 0x40, 0x00}));
    EXPECT_NE((MidiBytes{0x80, 0x40, 0x00}), (MidiBytes{0x80, 0x40}));
    EXPECT_NE((MidiBytes{0x80, 0x40, 0x00}), (MidiBytes{0x80, 0x41, 0x00}));
}
