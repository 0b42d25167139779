// The render path allocates nothing and takes no lock once warmed up. Allocations are counted
// by a replaced global operator new, locks by interposing the pthread lock functions; both
// count only on the thread that is inside a process call.

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

    RealTimeRig() { kernel.setMidiOutput(&counted); }

    /// One render cycle of `count` events starting at `start`, counted.
    void cycle(std::int64_t start, int count, std::vector<RenderEvent>& scratch, long& allocs, long& lockCount)
    {
        scratch.clear();  // capacity reserved by the caller
        for (int i = 0; i < count; ++i) {
            const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(0x90 | (i % 16)),
                                           static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i % 2 ? 0 : 90)};
            scratch.push_back(RenderEvent::midi(start + i / 4, bytes, 3));
        }
        {
            RealTimeScope scope;
            kernel.process(start, scratch);
            allocs += scope.allocations();
            lockCount += scope.locks();
        }
        kernel.midiRecorder->drain();  // the window's poll, outside the render path
    }
};

TEST(RealTime, CountersSeeAllocationsAndLocks)
{
    // Without this the zero counts below would prove nothing.
    long allocations = 0;
    long locks = 0;
    {
        RealTimeScope scope;
        int* volatile p = new int(1);  // volatile: the allocation must not be elided
        delete p;
        std::mutex m;
        m.lock();
        m.unlock();
        allocations = scope.allocations();
        locks = scope.locks();
    }
    EXPECT_EQ(allocations, 1);
    EXPECT_EQ(locks, 1);
}

TEST(RealTime, ProcessNeitherAllocatesNorLocksAfterWarmUp)
{
    RealTimeRig rig;
    std::vector<RenderEvent> scratch;
    scratch.reserve(8192);
    long allocs = 0;
    long lockCount = 0;

    // Warm-up: a first recording, a split, a drain.
    rig.cycle(1000, 64, scratch, allocs, lockCount);
    rig.cycle(10, 64, scratch, allocs, lockCount);
    allocs = lockCount = 0;

    // Empty cycles, playing and stopped.
    for (int i = 0; i < 100; ++i)
        rig.cycle(20000 + i * 256, 0, scratch, allocs, lockCount);
    rig.host.flags = 0;
    for (int i = 0; i < 100; ++i)
        rig.cycle(50000 + i * 256, 16, scratch, allocs, lockCount);
    EXPECT_EQ(allocs, 0);
    EXPECT_EQ(lockCount, 0);

    // Recording with tempo changes, bursts of thousands of events, and more than five jumps
    // back, so every slot is in use and the oldest keep being dropped.
    rig.host.flags = Corvel::TransportStateMoving;
    std::int64_t t = 100000;
    for (int round = 0; round < 8; ++round) {
        for (int i = 0; i < 50; ++i) {
            rig.host.tempo = 100.0 + i;
            rig.cycle(t, i % 10 == 0 ? 4000 : 16, scratch, allocs, lockCount);
            t += 2000;
        }
        t = 100000 + round;  // jump back
    }
    EXPECT_EQ(rig.kernel.savedRecordingCount.load(), 5u);
    EXPECT_EQ(rig.kernel.midiRecorder->slowPathCount(), 0u);

    // Bypassed, and with system-exclusive messages passed through.
    rig.kernel.shouldBypassEffect = true;
    rig.cycle(t, 256, scratch, allocs, lockCount);
    rig.kernel.shouldBypassEffect = false;
    const std::uint8_t sysEx[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    scratch.clear();
    scratch.push_back(RenderEvent::sysEx(t + 1, sysEx, sizeof sysEx));
    {
        RealTimeScope scope;
        rig.kernel.process(t, scratch);
        allocs += scope.allocations();
        lockCount += scope.locks();
    }

    EXPECT_EQ(allocs, 0);
    EXPECT_EQ(lockCount, 0);
    EXPECT_GT(rig.counted.count, 8u * 50u * 16u);  // the cycles really carried events
}

} // namespace
