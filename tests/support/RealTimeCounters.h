#pragma once

// Counts heap allocations (through a replaced global operator new) and mutex locks (through the
// pthread lock functions) made by the current thread while a RealTimeScope is open, and makes
// allocations fail on demand. Link
// RealTimeCounters.cpp into a test executable to use it; it cannot be combined with sanitizers.

namespace SondrelTest {

class RealTimeScope {
public:
    RealTimeScope();
    ~RealTimeScope();
    RealTimeScope(const RealTimeScope&) = delete;
    RealTimeScope& operator=(const RealTimeScope&) = delete;

    long allocations() const;
    long locks() const;
};

/// While one is open, every allocation on this thread fails (operator new throws, its nothrow
/// form gives null), as when memory runs out.
class FailingAllocations {
public:
    FailingAllocations();
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
};

}  // namespace SondrelTest
