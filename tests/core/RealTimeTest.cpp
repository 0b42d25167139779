// The render path allocates nothing and takes no lock once warmed up. Allocations are counted
// by a replaced global operator new, locks by interposing the pthread lock functions; both
// count only on the thread that is inside a process call.

#include "KernelHarness.h"

#include <gtest/gtest.h>

#include "RealTimeCounters.h"

#include <mutex>
#include <span>
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

    /// One render cycle of `count` notes starting at `start` (or of `sysEx` alone), counted; then
    /// the window's poll, outside the render path.
    void cycle(std::int64_t start, int count, std::span<const std::uint8_t> sysEx = {})
    {
        scratch.clear();  // the capacity stays
        for (int i = 0; i < count; ++i) {
            const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(0x90 | (i % 16)),
                                           static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i % 2 ? 0 : 90)};
            scratch.push_back(RenderEvent::midi(start + i / 4, bytes, 3));
        }
        if (!sysEx.empty())
            scratch.push_back(RenderEvent::sysEx(start + 1, sysEx.data(), static_cast<std::uint16_t>(sysEx.size())));
        {
            RealTimeScope scope;
            kernel.process(start, scratch);
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

    // Bypassed, and with a system-exclusive message passed through.
    rig.kernel.shouldBypassEffect = true;
    rig.cycle(t, 256);
    rig.kernel.shouldBypassEffect = false;
    const std::uint8_t sysEx[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    rig.cycle(t, 0, sysEx);

    EXPECT_EQ(rig.cost, 0);
    EXPECT_GT(rig.counted.count, 8u * 50u * 16u);  // the cycles really carried events
}

} // namespace
