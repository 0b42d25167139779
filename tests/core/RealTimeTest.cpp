// The render path allocates nothing and takes no lock once warmed up (counted by
// RealTimeCounters on the thread inside a process call).

#include "KernelHarness.h"

#include <gtest/gtest.h>

#include "RealTimeCounters.h"

#include <mutex>
#include <vector>

namespace {

using namespace SondrelTest;
using Corvel::RenderEvent;

struct RealTimeRig : Rig {
    CountingOutput counted;
    std::vector<RenderEvent> scratch;
    long cost = 0;  ///< allocations and locks inside process calls

    RealTimeRig()
    {
        kernel.setMidiOutput(&counted);
        scratch.reserve(8192);
    }

    /// One render cycle of `count` notes and, with them, a system-exclusive message from `start`,
    /// counted; then the window's poll, outside the render path.
    void cycle(std::int64_t start, int count, std::uint32_t frames = 256)
    {
        static constexpr std::uint8_t sysEx[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
        scratch.clear();  // the capacity stays
        for (int i = 0; i < count; ++i)
            scratch.push_back(midi(start + i / 4,
                                   {std::uint8_t(0x90 | i % 16), std::uint8_t(i % 128), std::uint8_t(i % 2 ? 0 : 90)}));
        if (count > 0)
            scratch.push_back(RenderEvent::sysEx(start + 1, sysEx, sizeof sysEx));
        {
            RealTimeScope scope;
            kernel.process(start, frames, scratch);
            cost += scope.allocations() + scope.locks();
        }
        kernel.midiRecorder->drain();
    }
};

TEST(RealTime, CountersSeeAllocationsAndLocks)
{
    // Without this the zero counts below would prove nothing.
    std::pair<long, long> counted;
    {
        RealTimeScope scope;
        int* volatile p = new int(1);  // volatile: the allocation must not be elided
        delete p;
        std::mutex m;
        m.lock();
        m.unlock();
        counted = {scope.allocations(), scope.locks()};
    }
    EXPECT_EQ(counted, (std::pair<long, long>{1, 1}));
}

TEST(RealTime, ProcessNeitherAllocatesNorLocksAfterWarmUp)
{
    RealTimeRig rig;
    rig.cycle(1000, 64);  // warm-up: a first recording, a split, a drain
    rig.cycle(10, 64);
    rig.cost = 0;

    // Empty cycles playing, then stopped ones with events.
    for (int i = 0; i < 100; ++i)
        rig.cycle(20000 + i * 256, 0);
    rig.host.flags = 0;
    for (int i = 0; i < 100; ++i)
        rig.cycle(50000 + i * 256, 16);

    // Recording with tempo changes, bursts of thousands of events, and more than five jumps
    // back, so every slot is in use and the oldest keep being dropped.
    rig.host.flags = Corvel::TransportStateMoving;
    std::int64_t t = 100000;
    for (int round = 0; round < 8; ++round) {
        for (int i = 0; i < 50; ++i, t += 2000) {
            rig.host.tempo = 100.0 + i;
            rig.cycle(t, i % 10 == 0 ? 4000 : 16);
        }
        t = 100000 + round;  // jump back
    }
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 5u);
    EXPECT_EQ(rig.kernel.midiRecorder->slowPathCount(), 0u);

    // Capturing while stopped: free takes, split by silence (a cycle of more than ten seconds),
    // from a host with and without a position; takes to keep changed between cycles.
    rig.kernel.setCaptureWhileStopped(true);
    for (int round = 0; round < 12; ++round) {
        rig.host.flags = 0;
        rig.host.contextOk = round % 3 != 0;
        rig.kernel.setRecordingCount(round % 2 ? 10 : 4);
        rig.cycle(t, 16, 500'000);
        rig.kernel.noteDetector->reset();
        rig.cycle(t, round % 4 == 0 ? 4000 : 16);
        rig.host.flags = Corvel::TransportStateMoving;
        rig.host.contextOk = true;
        rig.cycle(t + round, 16);
    }
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 4u + 3u);  // four kept, then three takes a round
    EXPECT_EQ(
        rig.recorder([](const Corvel::MIDIRecorder& r) { return r.getEventDetailsByIndex(1).capturedWhileStopped; }),
        true);

    rig.kernel.shouldBypassEffect = true;
    rig.cycle(t, 256);

    EXPECT_EQ(rig.cost, 0);
    EXPECT_GT(rig.counted.count, 8u * 50u * 16u);  // the cycles really carried events
}

// Runs of operations never straddle two blocks and, without memory for a block, are refused
// whole; whatever was taken is drained once, in order.
TEST(RealTime, TheQueueTakesRunsWholeOrNotAtAll)
{
    Corvel::RecorderQueue queue;
    auto cursor = queue.beginWriting();
    std::vector<std::int64_t> pushed, drained;
    pushed.reserve(1 << 15);
    drained.reserve(1 << 15);
    for (FailingAllocations noMemory; queue.reserve(cursor, 3);)  // 341 runs a block, one slot left
        for (int i = 0; i < 3; ++i)
            pushed.push_back(queue.push(cursor).time = std::ssize(pushed));
    queue.endWriting(cursor);
    queue.publish();
    queue.drain([&](const Corvel::RecorderOp& op) {
        if (op.kind != Corvel::RecorderOp::Kind::Skip)
            drained.push_back(op.time);
    });
    EXPECT_EQ(pushed.size(), Corvel::RecorderQueue::preallocatedBlocks * 1023);
    EXPECT_EQ(drained, pushed);
    EXPECT_EQ(queue.failedGrowthCount(), 1u);
}

// Out of memory with nobody draining: what the queue cannot take is counted against its take (a
// jump back's event against the take it would have started); the rest arrives whole and in order.
TEST(RealTime, AnEventThatFindsNoMemoryIsDroppedCountedAndRecordingGoesOn)
{
    RealTimeRig rig;
    rig.cycle(1000, 64);
    constexpr int burst = 20000;  // more than the preallocated blocks hold
    rig.scratch.clear();
    for (int i = 0; i < burst; ++i)
        rig.scratch.push_back(midi(2000 + i, {0xB0, 1, static_cast<std::uint8_t>(i % 128)}));
    const auto jumpBack = midi(10, {0x90, 60, 100});
    {
        FailingAllocations noMemory;
        EXPECT_EQ(rig.kernel.process(2000, 256, rig.scratch), Corvel::noErr);
        EXPECT_EQ(rig.kernel.process(10, 256, {&jumpBack, 1}), Corvel::noErr);
    }
    rig.kernel.midiRecorder->drain();
    rig.cycle(20, 1);

    const auto takes = rig.recordings();
    const auto kept = static_cast<int>(takes[1].events.size()) - 1 - 64;
    ASSERT_GT(kept, 0);
    for (int i = 0; i < kept; ++i)
        ASSERT_EQ(takes[1].events.sampleTimeAt(static_cast<std::size_t>(65 + i)), 2000 + i) << i;
    EXPECT_EQ(rig.kernel.midiRecorder->getEventSummary(1).lostEventCount, static_cast<std::uint64_t>(burst - kept));
    EXPECT_EQ(takes[0].lostEventCount, 1u);
    EXPECT_EQ(takes[0].events.size(), 2u);
    EXPECT_EQ(rig.kernel.lostEventCount.load(), static_cast<std::uint64_t>(burst - kept + 1));
    EXPECT_EQ(rig.counted.count, 65u + burst + 3u);
}

}  // namespace
