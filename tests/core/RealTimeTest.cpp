// The render path allocates nothing and takes no lock once warmed up. Allocations are counted
// by a replaced global operator new, locks by interposing the pthread lock functions; both
// count only on the thread that is inside a process call.

#include "KernelHarness.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <new>
#include <vector>

namespace {
thread_local bool counting = false;
thread_local long allocations = 0;
thread_local long locks = 0;

struct CountingScope {
    CountingScope() { allocations = locks = 0; counting = true; }
    ~CountingScope() { counting = false; }
};
} // namespace

void* operator new(std::size_t size)
{
    if (counting)
        ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (counting)
        ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

extern "C" int pthread_mutex_lock(pthread_mutex_t* m)
{
    using Fn = int (*)(pthread_mutex_t*);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (counting)
        ++locks;
    return real(m);
}
extern "C" int pthread_mutex_trylock(pthread_mutex_t* m)
{
    using Fn = int (*)(pthread_mutex_t*);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
    if (counting)
        ++locks;
    return real(m);
}

namespace {

using namespace SondrelTest;
using Corvel::RenderEvent;

struct RealTimeRig {
    ScriptedHost host;
    CountingOutput output;
    Corvel::MidiProcessor kernel;
    std::int64_t now = 0;

    RealTimeRig()
    {
        kernel.setMusicalContextSource(&host);
        kernel.setTransportStateSource(&host);
        kernel.setMidiOutput(&output);
        kernel.setSampleRate(48000.0f);
    }

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
            CountingScope scope;
            kernel.process(start, scratch);
            allocs += allocations;
            lockCount += locks;
        }
        kernel.midiRecorder->drain();  // the window's poll, outside the render path
    }
};

TEST(RealTime, CountersSeeAllocationsAndLocks)
{
    // Without this the zero counts below would prove nothing.
    long a = 0;
    long l = 0;
    {
        CountingScope scope;
        auto* p = new int(1);
        delete p;
        pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
        pthread_mutex_lock(&m);
        pthread_mutex_unlock(&m);
        a = allocations;
        l = locks;
    }
    EXPECT_EQ(a, 1);
    EXPECT_EQ(l, 1);
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
        CountingScope scope;
        rig.kernel.process(t, scratch);
        allocs += allocations;
        lockCount += locks;
    }

    EXPECT_EQ(allocs, 0);
    EXPECT_EQ(lockCount, 0);
    EXPECT_GT(rig.output.count, 8u * 50u * 16u);  // the cycles really carried events
}

} // namespace
