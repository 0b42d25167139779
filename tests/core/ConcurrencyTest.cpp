// The hand-off between the render thread and the readers: a render thread pushes random MIDI
// with jumps back and bursts while a reader polls the way the window does. Run under
// ThreadSanitizer by the tsan preset. Also: nothing is lost when nobody reads for millions of
// events.

#include "ChordDescription.h"
#include "KernelHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace SondrelTest;
using Corvel::RenderEvent;

// A deterministic wall clock per render thread, so two runs of the same input give the same
// start times.
thread_local std::int64_t fakeMilliseconds = 0;
std::int64_t fakeClock() noexcept { return 1'700'000'000'000 + ++fakeMilliseconds; }

struct Cycle {
    std::int64_t timestamp;
    double tempo;
    double beat;
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
        const int count = (rng() % 25 == 0) ? 2000 + static_cast<int>(rng() % 3000) : static_cast<int>(rng() % 12);
        for (int i = 0; i < count; ++i) {
            const std::uint8_t kinds[] = {0x90, 0x80, 0xB0, 0xE0, 0xC0, 0xD0, 0xA0};
            const std::uint8_t status = static_cast<std::uint8_t>(kinds[rng() % 7] | (rng() % 16));
            const std::uint8_t bytes[3] = {status, static_cast<std::uint8_t>(rng() % 128),
                                           static_cast<std::uint8_t>(rng() % 128)};
            const std::uint16_t length = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
            cycle.events.push_back(RenderEvent::midi(t + static_cast<std::int64_t>(i * 512 / std::max(count, 1)), bytes, length));
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

void play(Rig& rig, const std::vector<Cycle>& script)
{
    fakeMilliseconds = 0;
    for (const Cycle& c : script) {
        rig.host.tempo = c.tempo;
        rig.host.beatPosition = c.beat;
        rig.host.flags = c.playing ? Corvel::TransportStateMoving : 0;
        rig.kernel.process(c.timestamp, c.events);
    }
}

std::vector<Corvel::Recording> allRecordings(Rig& rig)
{
    return rig.recorder([](const Corvel::MIDIRecorder& r) {
        std::vector<Corvel::Recording> all;
        for (int i = 0; i < r.getRecordingCount(); ++i)
            all.push_back(r.getEventDetailsByIndex(i));
        return all;
    });
}

TEST(Concurrency, ReadersDuringRenderingSeeConsistentDataAndChangeNothing)
{
    const std::vector<Cycle> script = randomScript(20261206, 3000);

    Rig concurrent;
    concurrent.output.received.reserve(1'000'000);
    concurrent.kernel.setWallClock(&fakeClock);
    std::atomic<bool> readerStarted{false};
    std::atomic<bool> done{false};
    long polls = 0;
    long pollsWhileRendering = 0;
    long filesWritten = 0;

    std::thread reader([&] {
        auto& k = concurrent.kernel;
        readerStarted.store(true, std::memory_order_release);
        // Until the render thread is done, and (boundedly) until a file has been written.
        for (bool rendering = true; rendering || (filesWritten == 0 && polls < 100'000);) {
            rendering = !done.load(std::memory_order_acquire);
            pollsWhileRendering += rendering ? 1 : 0;
            ++polls;
            if (k.recordingsChanged.exchange(0) == 1) {
                const auto count = k.savedRecordingCount.load(std::memory_order_relaxed);
                EXPECT_GE(count, 1u);
                EXPECT_LE(count, 5u);
            }
            if (k.liveRecordingChanged.exchange(0) == 1) {
                EXPECT_GE(k.liveEventCount.load(std::memory_order_relaxed), -1);
                (void)Corvel::heldFullNotes(k);
                (void)Corvel::describeCurrentChord(k);
                (void)k.noteDetector->guessScale();
            }
            const auto summaries = k.midiRecorder->summaries();
            for (const auto& s : summaries) {
                if (s.startTime == 0)
                    continue;
                if (auto copy = k.midiRecorder->copyRecording(s.startTime)) {
                    // A recording only grows; what was summarised is still there.
                    EXPECT_GE(copy->events.size(), s.eventCount);
                    EXPECT_EQ(copy->events[0].data, (Corvel::MidiBytes{0xC0, 0x00}));
                }
                if ((filesWritten == 0 || polls % 16 == 0) && k.midiRecorder->midiFileForRecording(s.startTime))
                    ++filesWritten;
            }
        }
    });

    while (!readerStarted.load(std::memory_order_acquire))
        std::this_thread::yield();
    play(concurrent, script);
    done.store(true, std::memory_order_release);
    reader.join();

    Rig alone;
    alone.kernel.setWallClock(&fakeClock);
    play(alone, script);

    EXPECT_GT(pollsWhileRendering, 0);
    EXPECT_GT(filesWritten, 0);
    EXPECT_EQ(concurrent.output.received, alone.output.received);
    const auto a = allRecordings(concurrent);
    const auto b = allRecordings(alone);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].startTime, b[i].startTime) << "slot " << i;
        EXPECT_EQ(a[i].events.size(), b[i].events.size()) << "slot " << i;
        EXPECT_TRUE(a[i] == b[i]) << "slot " << i;
    }
    EXPECT_EQ(concurrent.kernel.savedRecordingCount.load(), 5u);
}

TEST(Concurrency, MillionsOfEventsWithNobodyReadingAreAllKept)
{
    Rig rig;
    rig.output.received.reserve(0);
    rig.kernel.setMidiOutput(nullptr);
    constexpr int perCycle = 1000;
    constexpr int cycles = 2000;
    std::vector<RenderEvent> events(perCycle);
    for (int c = 0; c < cycles; ++c) {
        for (int i = 0; i < perCycle; ++i) {
            const int n = c * perCycle + i;
            const std::uint8_t bytes[3] = {0x90, static_cast<std::uint8_t>(n % 128), static_cast<std::uint8_t>(1 + n % 127)};
            events[static_cast<std::size_t>(i)] = RenderEvent::midi(static_cast<std::int64_t>(n) * 3, bytes, 3);
        }
        ASSERT_EQ(rig.kernel.process(static_cast<std::int64_t>(c) * perCycle * 3, events), Corvel::noErr);
    }
    EXPECT_GT(rig.kernel.midiRecorder->slowPathCount(), 0u);  // the queue overflowed its blocks
    EXPECT_EQ(rig.kernel.liveEventCount.load(), perCycle * cycles + 1);

    rig.recorder([&](const Corvel::MIDIRecorder& r) {
        const Corvel::EventList& events = r.getEventDetailsByIndex(0).events;
        ASSERT_EQ(events.size(), static_cast<std::size_t>(perCycle * cycles + 1));
        EXPECT_EQ(r.getSavedEventCount(), 1);
        for (std::size_t i = 1; i < events.size(); ++i) {
            const auto n = static_cast<std::int64_t>(i - 1);
            ASSERT_EQ(events.sampleTimeAt(i), n * 3) << i;
            ASSERT_EQ(events.dataAt(i)[1], n % 128) << i;
        }
    });
}

} // namespace
