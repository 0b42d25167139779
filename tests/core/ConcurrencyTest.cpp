// The hand-off between the render thread and the threads that read what it recorded (under
// ThreadSanitizer in the tsan preset).

#include "ChordDescription.h"
#include "KernelHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace SondrelTest;
using Corvel::RenderEvent;

// A wall clock per render thread: two runs of the same input give the same start times.
thread_local std::int64_t fakeMilliseconds = 0;
std::int64_t perThreadClock() noexcept { return 1'700'000'000'000 + ++fakeMilliseconds; }

struct Cycle {
    std::int64_t timestamp;
    double tempo, beat;
    bool playing;
    std::vector<RenderEvent> events;
};

std::vector<Cycle> randomScript(std::uint32_t seed, int cycles)
{
    std::mt19937 rng(seed);
    std::vector<Cycle> script;
    std::int64_t t = 0;
    int sinceJump = 0;
    for (int c = 0; c < cycles; ++c) {
        Cycle cycle{t, 90.0 + rng() % 60, static_cast<double>(t) / 24000.0, rng() % 10 != 0, {}};
        // Now and then a burst that no preallocated or spare block could hold.
        const int count = rng() % 800 == 0 ? 80'000
            : rng() % 25 == 0              ? 2000 + static_cast<int>(rng() % 3000)
                                           : static_cast<int>(rng() % 12);
        for (int i = 0; i < count; ++i) {
            const std::uint8_t kinds[] = {0x90, 0x80, 0xB0, 0xE0, 0xC0, 0xD0, 0xA0};
            const std::uint8_t status = static_cast<std::uint8_t>(kinds[rng() % 7] | (rng() % 16));
            const std::uint8_t bytes[3] = {status, static_cast<std::uint8_t>(rng() % 128),
                                           static_cast<std::uint8_t>(rng() % 128)};
            cycle.events.push_back(RenderEvent::midi(t + i * 512 / count, bytes, (status & 0xE0) == 0xC0 ? 2 : 3));
        }
        sinceJump += count;
        script.push_back(std::move(cycle));
        if (sinceJump > 300 && rng() % 4 == 0) {
            t = static_cast<std::int64_t>(rng() % 100000);  // jump back (or, rarely, forward)
            sinceJump = 0;
        } else {
            t += 512;
        }
    }
    return script;
}

/// Counts the cycles done in `played`; calls `midway` when half of them are.
void play(Rig& rig, const std::vector<Cycle>& script, std::atomic<int>& played,
          const std::function<void()>& midway = {})
{
    fakeMilliseconds = 0;
    rig.kernel.setWallClock(&perThreadClock);
    for (const Cycle& c : script) {
        if (midway && &c == &script[script.size() / 2])
            midway();
        rig.host.tempo = c.tempo;
        rig.host.beatPosition = c.beat;
        rig.host.flags = c.playing ? std::uint64_t{Corvel::TransportStateMoving} : 0;
        rig.kernel.process(c.timestamp, 512, c.events);
        played.fetch_add(1, std::memory_order_release);
    }
}

TEST(Concurrency, ReadersDuringRenderingSeeConsistentDataAndChangeNothing)
{
    const std::vector<Cycle> script = randomScript(20261206, 3000);

    Rig concurrent;
    concurrent.output.received.reserve(1'500'000);
    const int total = static_cast<int>(script.size());
    std::atomic<int> played{0}, readersStarted{0};
    // Each reader counts the reads that began after a cycle was done and ended before the last:
    // proof that reading and rendering overlapped.
    struct Reads {
        bool isWindow;  ///< only the window (one thread) runs the note detector's analyses
        std::atomic<long> duringRendering = 0;
        long filesWritten = 0;
    };
    const auto reader = [&](Reads& reads) {
        auto& k = concurrent.kernel;
        readersStarted.fetch_add(1, std::memory_order_release);
        for (long polls = 0;
             played.load(std::memory_order_acquire) < total || (reads.filesWritten == 0 && polls < 100'000); ++polls) {
            const int before = played.load(std::memory_order_acquire);
            const bool changed = k.recordingsChanged.exchange(0) == 1;
            EXPECT_TRUE(!changed || k.savedRecordingCount.load(std::memory_order_relaxed) - 1 < 5u);  // 1 to 5
            if (reads.isWindow && k.liveRecordingChanged.exchange(0) == 1) {
                EXPECT_GE(k.liveEventCount.load(std::memory_order_relaxed), -1);
                (void)Corvel::heldFullNotes(k);
                (void)Corvel::describeCurrentChord(k);
                (void)k.noteDetector->guessScale();
            }
            for (const auto& s : k.midiRecorder->summaries()) {
                if (s.startTime == 0)
                    continue;
                if (auto copy = k.midiRecorder->copyRecording(s.startTime)) {
                    // A recording only grows; what was summarised is still there.
                    EXPECT_GE(copy->events.size(), s.eventCount);
                    EXPECT_EQ(copy->events[0].data, (Corvel::MidiBytes{0xC0, 0x00}));
                }
                if ((reads.filesWritten == 0 || polls % 16 == 0) && k.midiRecorder->midiFileForRecording(s.startTime))
                    ++reads.filesWritten;
            }
            reads.duringRendering += before > 0 && played.load(std::memory_order_acquire) < total ? 1 : 0;
        }
    };
    Reads first{true}, second{false};
    std::thread readers[] = {std::thread(reader, std::ref(first)), std::thread(reader, std::ref(second))};
    while (readersStarted.load(std::memory_order_acquire) < 2)
        std::this_thread::yield();
    // Halfway, rendering waits (a few seconds at most) until each reader has read during it, so
    // that even a slow reader (under a sanitizer, on a busy machine) overlaps it.
    play(concurrent, script, played, [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while ((first.duringRendering == 0 || second.duringRendering == 0)
               && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    });
    for (auto& t : readers)
        t.join();

    Rig alone;
    std::atomic<int> playedAlone{0};
    play(alone, script, playedAlone);

    for (const Reads* reads : {&first, &second}) {
        EXPECT_GT(reads->duringRendering, 0);
        EXPECT_GT(reads->filesWritten, 0);
    }
    // The bursts outgrew the spare blocks while the readers recycled and released them.
    EXPECT_GT(concurrent.kernel.midiRecorder->slowPathCount(), 0u);
    EXPECT_EQ(concurrent.output.received, alone.output.received);
    EXPECT_TRUE(concurrent.recordings() == alone.recordings());
    EXPECT_EQ(concurrent.kernel.savedRecordingCount.load(), 5u);
}

// The options change on another thread while the render thread captures, stopped and playing:
// the published count of takes stays the owner's, and no take is lost or torn.
TEST(Concurrency, OptionsChangeWhileRendering)
{
    const std::vector<Cycle> script = randomScript(7, 1500);
    Rig rig;
    rig.output.received.reserve(1'000'000);
    std::atomic<int> played{0};
    std::thread options([&] {
        for (int i = 0; played.load(std::memory_order_acquire) < std::ssize(script); ++i) {
            rig.kernel.setCaptureWhileStopped(i % 3 != 0);
            rig.kernel.setRecordingCount(i % 2 ? 10 : 3);
            for (const auto& s : rig.kernel.midiRecorder->summaries())
                EXPECT_TRUE(s.startTime == 0 || s.eventCount > 0);
        }
    });
    play(rig, script, played);
    options.join();
    rig.run(0, {});
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(),
              static_cast<std::uint32_t>(rig.kernel.midiRecorder->getSavedEventCount()));
    EXPECT_EQ(rig.kernel.midiRecorder->queue().failedGrowthCount(), 0u);
}

TEST(Concurrency, MillionsOfEventsWithNobodyReadingAreAllKept)
{
    Rig rig;
    rig.kernel.setMidiOutput(nullptr);
    constexpr int perCycle = 1000, cycles = 2000;
    std::vector<RenderEvent> events(perCycle);
    for (int c = 0; c < cycles; ++c) {
        for (int i = 0, n = c * perCycle; i < perCycle; ++i, ++n)
            events[std::size_t(i)] = midi(std::int64_t{n} * 3,
                                          {0x90, std::uint8_t(n % 128), std::uint8_t(1 + n % 127)});
        ASSERT_EQ(rig.kernel.process(static_cast<std::int64_t>(c) * perCycle * 3, perCycle * 3, events), Corvel::noErr);
    }
    EXPECT_GT(rig.kernel.midiRecorder->slowPathCount(), 0u);  // the queue overflowed its blocks
    EXPECT_EQ(rig.kernel.liveEventCount.load(), perCycle * cycles + 1);

    rig.recorder([&](const Corvel::MIDIRecorder& r) {
        const Corvel::EventList& events = r.getEventDetailsByIndex(0).events;
        ASSERT_EQ(events.size(), static_cast<std::size_t>(perCycle * cycles + 1));
        for (std::size_t i = 1; i < events.size(); ++i) {
            const auto n = static_cast<std::int64_t>(i - 1);
            ASSERT_EQ(events.sampleTimeAt(i), n * 3) << i;
            ASSERT_EQ(events.dataAt(i)[1], n % 128) << i;
        }
    });
}

}  // namespace
