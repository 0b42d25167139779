#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <atomic>
#include <cstdint>

/// A wait-free single-producer, single-consumer queue of MIDI messages (of any length up to the
/// queue's size), stored as a two-byte length followed by the bytes. A message that does not
/// fit is dropped and counted, never waited for.
///
/// Threads: push() on one producer thread, pop functions on one consumer thread; neither
/// allocates nor locks, so either side may be a real-time thread.
class MidiMessageFifo {
public:
    static constexpr int capacity = 64 * 1024;

    bool push(const std::uint8_t* bytes, int length) noexcept
    {
        if (length <= 0 || length > 0xFFFF)
            return false;
        const int needed = length + 2;
        if (fifo.getFreeSpace() < needed) {
            dropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        const std::uint8_t header[2] = {static_cast<std::uint8_t>(length & 0xFF),
                                        static_cast<std::uint8_t>(length >> 8)};
        auto write = fifo.write(needed);
        copyIn(write.startIndex1, write.blockSize1, write.startIndex2, write.blockSize2, header, bytes, length);
        return true;
    }

    /// Calls `take(const std::uint8_t* bytes, int length)` for every waiting message, oldest first.
    template <typename Take>
    void popAll(Take&& take) noexcept
    {
        while (fifo.getNumReady() >= 2) {
            std::uint8_t header[2];
            peek(header, 2);
            const int length = header[0] | (header[1] << 8);
            if (fifo.getNumReady() < length + 2)
                return;  // cannot happen: the producer publishes whole messages
            fifo.finishedRead(2);
            peek(scratch.data(), length);
            fifo.finishedRead(length);
            take(static_cast<const std::uint8_t*>(scratch.data()), length);
        }
    }

    std::uint32_t droppedCount() const noexcept { return dropped.load(std::memory_order_relaxed); }

private:
    void copyIn(int start1, int size1, int start2, int size2, const std::uint8_t* header, const std::uint8_t* bytes,
                int length) noexcept
    {
        int k = 0;
        const auto byteAt = [&](int i) { return i < 2 ? header[i] : bytes[i - 2]; };
        for (int i = 0; i < size1; ++i)
            storage[static_cast<std::size_t>(start1 + i)] = byteAt(k++);
        for (int i = 0; i < size2; ++i)
            storage[static_cast<std::size_t>(start2 + i)] = byteAt(k++);
        juce::ignoreUnused(length);
    }

    void peek(std::uint8_t* out, int count) const noexcept
    {
        int start1 = 0, size1 = 0, start2 = 0, size2 = 0;
        fifo.prepareToRead(count, start1, size1, start2, size2);
        int k = 0;
        for (int i = 0; i < size1; ++i)
            out[k++] = storage[static_cast<std::size_t>(start1 + i)];
        for (int i = 0; i < size2; ++i)
            out[k++] = storage[static_cast<std::size_t>(start2 + i)];
    }

    juce::AbstractFifo fifo{capacity};
    std::array<std::uint8_t, capacity> storage{};
    std::array<std::uint8_t, capacity> scratch{};  ///< consumer side
    std::atomic<std::uint32_t> dropped{0};
};
