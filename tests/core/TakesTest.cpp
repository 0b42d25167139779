// Takes kept with a project: the archive of the recordings and the kernel taking replaced
// recordings over.

#include "KernelHarness.h"
#include "RecordingArchive.h"

#include <gtest/gtest.h>

#include <thread>

using Corvel::MIDIRecorder;
using Corvel::RecordingArchive;
using SondrelTest::midi;

namespace {

/// A kernel that has recorded takes of `notes[t]` notes, oldest first (each take a jump back).
struct Recorded : SondrelTest::Rig {
    Recorded(int takes, int notes) : Recorded(std::vector<int>(static_cast<std::size_t>(takes), notes)) {}
    explicit Recorded(const std::vector<int>& notes)
    {
        const auto takes = static_cast<std::int64_t>(notes.size());
        for (std::int64_t t = 0; t < takes; ++t)
            for (int n = 0; n < notes[static_cast<std::size_t>(t)]; ++n)
                run(1000 + n * 100 + (takes - t), {midi(1000 + n * 100 + (takes - t), {0x90, std::uint8_t(60 + n), 100})});
    }
    RecordingArchive::Encoded encode(std::size_t limit)
    {
        return recorder([limit](const MIDIRecorder& r) { return RecordingArchive::encode(r, limit); });
    }
};

/// Replaces the kernel's takes from inside the first cycle that passes something on.
struct ReplacingOutput final : Corvel::MidiOutput {
    ReplacingOutput(Corvel::MidiProcessor* k, std::vector<Corvel::Recording> w) : kernel(k), with(std::move(w)) {}
    Corvel::MidiProcessor* kernel;
    std::vector<Corvel::Recording> with;
    void sendMidi(std::int64_t, std::uint8_t, std::uint16_t, const std::uint8_t*) noexcept override
    {
        if (kernel != nullptr)
            std::exchange(kernel, nullptr)->replaceRecordings(with);
    }
};

} // namespace

// Saved and loaded into a fresh kernel, the takes are the same; playing on continues the live
// take, and a jump back starts a new one, as if the plug-in had never gone away.
TEST(Takes, RoundTripIntoAFreshKernelAndPlayOn)
{
    Recorded saved(3, 4);
    const auto encoded = saved.encode(16u << 20);
    EXPECT_EQ(encoded.takesKept, 3);
    const auto decoded = RecordingArchive::decode(encoded.bytes, 5);
    ASSERT_TRUE(decoded);

    SondrelTest::Rig loaded;
    // Replaced while a cycle is rendered: what that cycle queued was for the takes before.
    ReplacingOutput replacing{&loaded.kernel, *decoded};
    loaded.kernel.setMidiOutput(&replacing);
    loaded.run(500, {midi(500, {0x90, 70, 1})});
    loaded.kernel.setMidiOutput(&loaded.output);
    loaded.run(600, {});  // adopts them
    EXPECT_EQ(loaded.kernel.savedRecordingCount.load(), 3u);
    EXPECT_EQ(loaded.kernel.recordingsChanged.exchange(0), 1u);
    const auto original = saved.recordings();
    auto now = [&] { return loaded.recordings(); };
    EXPECT_EQ(now(), original);

    loaded.run(5000, {midi(5000, {0x80, 60, 0})});  // later than the live take's end: continues it
    EXPECT_EQ(now()[0].events.size(), original[0].events.size() + 1);
    loaded.run(10, {midi(10, {0x90, 61, 1})});  // a jump back: a new take, the others move down
    const auto after = now();
    EXPECT_EQ(after[0].events.size(), 2u);
    EXPECT_EQ(after[1].startTime, original[0].startTime);
    EXPECT_EQ(after[3].startTime, original[2].startTime);

    loaded.kernel.replaceRecordings({});  // "Clear takes"
    EXPECT_EQ(loaded.kernel.savedRecordingCount.load(), 0u);
    loaded.run(20, {midi(20, {0x90, 62, 1})});
    EXPECT_EQ(loaded.recorder([](const MIDIRecorder& r) { return r.getSavedEventCount(); }), 1);
}

// Past the byte limit the newest takes are kept whole and the oldest left out; anything but a
// whole archive is refused.
TEST(Takes, ArchiveKeepsTheNewestWithinItsLimitAndRefusesDamage)
{
    Recorded saved(5, 10);
    const std::size_t oneTake = saved.encode(1u << 30).bytes.size() / 5;  // roughly
    const auto bounded = saved.encode(2 * oneTake + oneTake / 2);
    EXPECT_EQ(bounded.takesInUse, 5);
    EXPECT_EQ(bounded.takesKept, 2);
    const auto kept = RecordingArchive::decode(bounded.bytes, 5);
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->size(), 2u);
    EXPECT_EQ((*kept)[0], saved.recordings()[0]);
    EXPECT_EQ((*kept)[1], saved.recordings()[1]);

    // Newest first: 2, 10 and 2 notes after the anchor, each event 25 bytes and its own.
    Recorded mixed({2, 10, 2});
    constexpr std::size_t small = 27 + 2 * 28, large = 27 + 10 * 28;
    const struct { std::size_t limit; int kept; } limits[] = {
        {small - 1, 0}, {small, 1}, {small + large - 1, 1}, {small + large, 2},
        {small + small + 10, 1},  // the oldest would fit, but not without the one before it
        {2 * small + large, 3},
    };
    for (const auto& l : limits)
        EXPECT_EQ(mixed.encode(l.limit).takesKept, l.kept) << "limit " << l.limit;

    const auto whole = saved.encode(1u << 30).bytes;
    for (std::size_t n = 0; n < whole.size(); n += 7)
        EXPECT_FALSE(RecordingArchive::decode(std::span(whole).first(n), 5)) << "cut at " << n;
    EXPECT_FALSE(RecordingArchive::decode(whole, 4)) << "more takes than slots";
    auto twice = whole;  // the second take's start time made the first's
    const auto slots = saved.recordings();
    std::size_t second = 12 + 20;
    for (const auto& e : slots[0].events)
        second += 25 + e.data.size();
    std::copy_n(whole.begin() + 12, 8, twice.begin() + static_cast<std::ptrdiff_t>(second));
    const auto apart = RecordingArchive::decode(twice, 5);
    ASSERT_TRUE(apart);
    EXPECT_EQ((*apart)[1].startTime, (*apart)[0].startTime + 1);
    EXPECT_EQ((*apart)[1].events, slots[1].events);
}
