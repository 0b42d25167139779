// Takes kept with a project: their archive, and the kernel taking replaced recordings over.

#include "KernelHarness.h"
#include "RecordingArchive.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using Corvel::MIDIRecorder;
using Corvel::RecordingArchive;
using SondrelTest::midi;

namespace {

/// A kernel that has recorded takes of `notes[t]` notes, oldest first (each take a jump back).
struct Recorded : SondrelTest::Rig {
    explicit Recorded(const std::vector<int>& notes)
    {
        for (std::size_t t = 0; t < notes.size(); ++t)
            for (int n = 0; n < notes[t]; ++n) {
                const auto at = static_cast<std::int64_t>(1000 + n * 100 + notes.size() - t);
                run(at, {midi(at, {0x90, std::uint8_t(60 + n), 100})});
            }
    }
    RecordingArchive::Encoded encode(std::size_t limit)
    {
        return recorder([limit](const MIDIRecorder& r) { return RecordingArchive::encode(r, limit); });
    }
};

/// Does something to the kernel from inside the first cycle that passes something on, as the
/// message thread may while the render thread is in a cycle.
struct MeanwhileOutput final : Corvel::MidiOutput {
    explicit MeanwhileOutput(std::function<void()> what) : then(std::move(what)) {}
    std::function<void()> then;
    void sendMidi(std::int64_t, std::uint8_t, std::uint16_t, const std::uint8_t*) noexcept override
    {
        if (then)
            std::exchange(then, nullptr)();
    }
};

}  // namespace

// As if the plug-in had never gone away: playing on continues the live take.
TEST(Takes, RoundTripIntoAFreshKernelAndPlayOn)
{
    Recorded saved({4, 4, 4});
    const auto decoded = RecordingArchive::decode(saved.encode(16u << 20).bytes, 5);
    ASSERT_TRUE(decoded);

    SondrelTest::Rig loaded;
    // Replaced while a cycle is rendered: what that cycle queued was for the takes before.
    MeanwhileOutput replacing{[&] { loaded.kernel.replaceRecordings(*decoded); }};
    loaded.kernel.setMidiOutput(&replacing);
    loaded.run(500, {midi(500, {0x90, 70, 1})});
    loaded.kernel.setMidiOutput(&loaded.output);
    loaded.run(600, {});  // adopts them
    EXPECT_EQ(std::tuple(loaded.kernel.savedRecordingCount.load(), loaded.kernel.recordingsChanged.exchange(0)),
              std::tuple(3u, 1u));
    const auto original = saved.recordings();
    EXPECT_EQ(loaded.recordings(), original);

    loaded.run(5000, {midi(5000, {0x80, 60, 0})});  // later than the live take's end: continues it
    EXPECT_EQ(loaded.recordings()[0].events.size(), original[0].events.size() + 1);
    loaded.run(10, {midi(10, {0x90, 61, 1})});  // a jump back: a new take, the others move down
    const auto after = loaded.recordings();
    EXPECT_EQ(after[0].events.size(), 2u);
    EXPECT_EQ(std::pair(after[1].startTime, after[3].startTime),
              std::pair(original[0].startTime, original[2].startTime));

    loaded.kernel.replaceRecordings({});  // "Clear takes"
    EXPECT_EQ(loaded.kernel.savedRecordingCount.load(), 0u);
    loaded.run(20, {midi(20, {0x90, 62, 1})});
    EXPECT_EQ(loaded.recorder([](const MIDIRecorder& r) { return r.getSavedEventCount(); }), 1);
}

// Past the byte limit the newest takes are kept whole, the oldest left out.
TEST(Takes, ArchiveKeepsTheNewestWithinItsLimitAndRefusesDamage)
{
    // Newest first: 2, 10 and 2 notes after the anchor, each event 25 bytes and its own.
    Recorded mixed({2, 10, 2});
    const auto slots = mixed.recordings();
    constexpr std::size_t small = 27 + 2 * 28, large = 27 + 10 * 28;
    const struct {
        std::size_t limit;
        int kept;
    } limits[] = {
        {small - 1, 0},          {small, 1}, {small + large - 1, 1}, {small + large, 2},
        {small + small + 10, 1},  // the oldest would fit, but not without the one before it
        {2 * small + large, 3},
    };
    for (const auto& l : limits) {
        const auto bounded = mixed.encode(l.limit);
        EXPECT_EQ(std::pair(bounded.takesInUse, bounded.takesKept), std::pair(3, l.kept)) << "limit " << l.limit;
        EXPECT_EQ(RecordingArchive::decode(bounded.bytes, 5), std::vector(slots.begin(), slots.begin() + l.kept));
    }

    const auto whole = mixed.encode(1u << 30).bytes;
    for (std::size_t n = 0; n < whole.size(); n += 7)
        EXPECT_FALSE(RecordingArchive::decode(std::span(whole).first(n), 5)) << "cut at " << n;
    EXPECT_FALSE(RecordingArchive::decode(whole, 2)) << "more takes than slots";
    auto twice = whole;  // the second take's start time made the first's
    std::size_t second = 12 + 29;
    for (const auto& e : slots[0].events)
        second += 25 + e.data.size();
    std::copy_n(whole.begin() + 12, 8, twice.begin() + static_cast<std::ptrdiff_t>(second));
    const auto apart = RecordingArchive::decode(twice, 5);
    ASSERT_TRUE(apart);
    EXPECT_EQ((*apart)[1].startTime, (*apart)[0].startTime + 1);
    EXPECT_EQ((*apart)[1].events, slots[1].events);
}

// Loop laps (the same two notes, each lap a new take) at a number of takes to keep: the newest
// are kept, also when the number changes while a cycle that starts a take is rendered, and the
// slots in use the kernel publishes stay those the owner holds.
TEST(Takes, TakesToKeepKeepTheNewestAndNothingRecordedMeanwhileIsLost)
{
    SondrelTest::Rig rig;
    std::vector<std::int64_t> started;  // newest first
    const auto lap = [&] {
        rig.run(1000, {midi(1000, {0x90, 60, 100}), midi(2000, {0x80, 60, 0})});
        started.insert(started.begin(), rig.recordings()[0].startTime);
    };
    const auto holdsNewest = [&](int n) {
        std::vector<std::int64_t> held;
        for (const auto& r : rig.recordings())
            if (r.startTime > 0)
                held.push_back(r.startTime);
        return held == std::vector(started.begin(), started.begin() + n)
            && rig.kernel.savedRecordingCount.load()
            == static_cast<std::uint32_t>(rig.kernel.midiRecorder->getSavedEventCount());
    };
    rig.kernel.setRecordingCount(25);
    for (int i = 0; i < 30; ++i)
        lap();
    EXPECT_TRUE(holdsNewest(25));
    rig.kernel.setRecordingCount(5);
    EXPECT_TRUE(holdsNewest(5));
    lap();
    EXPECT_TRUE(holdsNewest(5));
    EXPECT_EQ(rig.kernel.getRecordingCount(), 5);

    for (const auto& [from, to] : {std::pair(5, 10), std::pair(10, 3), std::pair(3, 50)}) {
        rig.kernel.setRecordingCount(from);
        for (int i = 0; i < from; ++i)
            lap();
        MeanwhileOutput changing{[&, to = to] { rig.kernel.setRecordingCount(to); }};
        rig.kernel.setMidiOutput(&changing);
        lap();
        rig.kernel.setMidiOutput(&rig.output);
        for (int i = 0; i <= std::max(to - from, 0); ++i, lap()) {
            rig.run(3000, {});
            EXPECT_TRUE(holdsNewest(std::min(from + i, to))) << from << "->" << to << " lap " << i;
        }
    }

    // The state keeps as many takes as the option: restored at 50 they are all there.
    const auto encoded = rig.recorder([](const MIDIRecorder& r) { return RecordingArchive::encode(r, 16u << 20); });
    SondrelTest::Rig loaded;
    loaded.kernel.setRecordingCount(50);
    loaded.kernel.replaceRecordings(*RecordingArchive::decode(encoded.bytes, loaded.kernel.getRecordingCount()));
    EXPECT_EQ(loaded.recordings(), rig.recordings());
}

// A take captured while stopped, and its lost events, survive the archive; an archive of the
// first version is still read.
TEST(Takes, ArchiveKeepsHowATakeWasCapturedAndReadsTheFirstVersion)
{
    Corvel::Recording take{1'700'000'000'123, 48000.0f, {}, true, 7};
    take.events.push_back({{0x90, 60, 100}, 480, 97.5, 0.25});
    MIDIRecorder recorder(1, true);
    recorder.replaceRecordings({take});
    auto bytes = RecordingArchive::encode(recorder, 1u << 20).bytes;
    EXPECT_EQ(RecordingArchive::decode(bytes, 1), std::vector{take});
    auto first = bytes;  // the first version: no flags, no lost events
    first[4] = 1;
    first.erase(first.begin() + 24, first.begin() + 33);
    std::tie(take.capturedWhileStopped, take.lostEventCount) = std::tuple(false, 0);
    EXPECT_EQ(RecordingArchive::decode(first, 1), std::vector{take});
    bytes[12 + 12] = 3;  // a flag this version does not know
    EXPECT_FALSE(RecordingArchive::decode(bytes, 1));

    // A free take restored in slot 0 is never continued, stopped or playing.
    SondrelTest::Rig rig;
    rig.kernel.setCaptureWhileStopped(true);
    rig.host.flags = 0;
    rig.run(0, {midi(0, {0x90, 59, 1})});
    rig.kernel.replaceRecordings({Corvel::Recording{5, 44100.0f, {}, true, 0}});
    rig.run(0, {midi(0, {0x90, 60, 1})});
    rig.host.flags = Corvel::TransportStateMoving;
    rig.run(100, {midi(100, {0x90, 61, 1})});
    const auto now = rig.recordings();
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 3u);
    EXPECT_EQ(std::tuple(now[2].startTime, now[1].capturedWhileStopped, now[0].capturedWhileStopped),
              std::tuple(5, true, false));
}
