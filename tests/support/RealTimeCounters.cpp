#include "RealTimeCounters.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <new>

namespace {
thread_local bool counting = false;
thread_local long allocationCount = 0;
thread_local long lockCount = 0;
thread_local bool failing = false;

template <typename Fn>
Fn real(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}
}  // namespace

namespace SondrelTest {
RealTimeScope::RealTimeScope()
{
    allocationCount = lockCount = 0;
    counting = true;
}
RealTimeScope::~RealTimeScope() { counting = false; }
long RealTimeScope::allocations() const { return allocationCount; }
long RealTimeScope::locks() const { return lockCount; }
FailingAllocations::FailingAllocations() { failing = true; }
FailingAllocations::~FailingAllocations() { failing = false; }
}  // namespace SondrelTest

void* operator new(std::size_t size)
{
    if (counting)
        ++allocationCount;
    if (void* p = failing ? nullptr : std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (counting)
        ++allocationCount;
    return failing ? nullptr : std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

extern "C" int pthread_mutex_lock(pthread_mutex_t* m)
{
    static const auto lock = real<int (*)(pthread_mutex_t*)>("pthread_mutex_lock");
    if (counting)
        ++lockCount;
    return lock(m);
}

extern "C" int pthread_mutex_trylock(pthread_mutex_t* m)
{
    static const auto tryLock = real<int (*)(pthread_mutex_t*)>("pthread_mutex_trylock");
    if (counting)
        ++lockCount;
    return tryLock(m);
}
