#pragma once

#include "RecordedMIDIEvent.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Corvel {

/// One recorder operation handed from the render thread to the recordings' owner.
/// Kept at 40 bytes: InitialiseLive carries its wall-clock start time (ms) in
/// event.sampleTime, SetTempo carries the tempo in event.bpm, Append the event itself.
struct RecorderOp {
    enum class Kind : std::uint8_t { Append, InitialiseLive, Shift, SetTempo };
    Kind kind = Kind::Append;
    RecordedMIDIEvent event;
};

static_assert(sizeof(RecorderOp) == 40);

/// Wait-free single-producer, single-consumer queue of recorder operations.
///
/// Operations live in fixed blocks linked into a list. The producer (the render thread) fills
/// the tail block and makes what it wrote visible with publish(); when a block is full it takes
/// an empty one from a free list that the consumer refills. Nothing is ever dropped: if the
/// free list is empty because nobody has drained for a long time (an offline render with no
/// reader), the producer allocates one more block. That slow path is counted; once the
/// consumer drains, the extra blocks are reused, so steady state needs no allocation at all.
class RecorderQueue {
public:
    static constexpr std::size_t blockCapacity = 1024;
    static constexpr std::size_t preallocatedBlocks = 16;
    static constexpr std::size_t maxSpareBlocks = 64;

    RecorderQueue();
    ~RecorderQueue();
    RecorderQueue(const RecorderQueue&) = delete;
    RecorderQueue& operator=(const RecorderQueue&) = delete;

    // Producer (render thread): no lock, no wait; allocates only on the counted slow path.
    RecorderOp& beginPush() noexcept;      ///< the slot to fill; valid until the next beginPush
    void publish() noexcept;               ///< makes every filled slot visible to the consumer

    // Consumer (one thread at a time).
    template <typename Apply>
    std::size_t drain(Apply&& apply);

    /// How many times the producer had to allocate a block because none was free.
    std::uint64_t slowPathCount() const noexcept { return slowPaths.load(std::memory_order_relaxed); }

private:
    struct Block {
        std::array<RecorderOp, blockCapacity> ops;
        std::atomic<std::size_t> published{0};
        std::atomic<Block*> next{nullptr};
        Block* nextFree = nullptr;
    };

    Block* takeFreeBlock() noexcept;
    void recycle(Block* block) noexcept;

    // Producer state.
    Block* tail;
    std::size_t tailCount = 0;
    // Consumer state.
    Block* head;
    std::size_t headRead = 0;
    // Free list: pushed by the consumer, popped by the producer.
    std::atomic<Block*> freeList{nullptr};
    std::atomic<std::size_t> freeCount{0};
    std::atomic<std::uint64_t> slowPaths{0};
};

template <typename Apply>
std::size_t RecorderQueue::drain(Apply&& apply)
{
    std::size_t applied = 0;
    for (;;) {
        const std::size_t available = head->published.load(std::memory_order_acquire);
        while (headRead < available) {
            apply(head->ops[headRead]);
            ++headRead;
            ++applied;
        }
        if (headRead < blockCapacity)
            return applied;
        Block* next = head->next.load(std::memory_order_acquire);
        if (next == nullptr)
            return applied;
        Block* done = head;
        head = next;
        headRead = 0;
        recycle(done);
    }
}

} // namespace Corvel
