#pragma once

#include <cstdint>

/// Milliseconds since the Unix epoch, but never the same value twice in this process: recordings
/// are told apart by their start time, and a host that plays faster than real time (the capture
/// tool) can start several within one millisecond. Runs ahead of the real clock by at most one
/// millisecond per recording started within the same millisecond.
///
/// Any thread, the render thread included: lock-free, no allocation.
std::int64_t distinctWallClockMilliseconds() noexcept;
