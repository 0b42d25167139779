#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Corvel {

/// One recorder operation handed from the render thread to the recordings' owner. The render
/// thread only copies what it was given; the owner turns it into recorded events, at the
/// recorder's sample rate (which only changes once everything queued before has been applied).
struct RecorderOp {
    enum class Kind : std::uint8_t {
        Cycle,           ///< the musical context of the events that follow
        Append,          ///< one MIDI message of the current cycle
        InitialiseLive,  ///< slot 0 starts anew
        Shift,           ///< every recording moves one slot down
        SetTempo,        ///< the recorder's tempo
        Replaced,        ///< the render thread now works on recordings replaced by the owner
        Lost,            ///< events slot 0 could not keep (no memory for the queue)
        Skip,            ///< nothing: the end of a block that a run did not fit in
    };
    Kind kind = Kind::Append;
    std::uint8_t length = 0;     ///< Append: message length (at most 3)
    std::uint8_t bytes[3] = {};  ///< Append: the message
    bool stopped = false;        ///< InitialiseLive: the take is captured while stopped
    std::int64_t time = 0;       ///< Append: event sample time; Cycle: the sample time its beat is at;
                                 ///< InitialiseLive: wall-clock start in ms; Replaced: generation;
                                 ///< Lost: how many events
    double tempo = 0.0;          ///< Cycle, SetTempo
    double beat = 0.0;           ///< Cycle: beat position at `time`

    /// Fills an Append with two stores: kind, length and the bytes (little-endian, status in
    /// the low byte of `message`) as one word (which clears `stopped`), then the time.
    void setAppend(std::uint32_t messageLength, std::uint32_t message, std::int64_t sampleTime) noexcept
    {
        const std::uint64_t head = static_cast<std::uint64_t>(Kind::Append) | (std::uint64_t{messageLength} << 8)
            | (std::uint64_t{message & 0xFFFFFFu} << 16);
        std::memcpy(static_cast<void*>(this), &head, sizeof head);
        time = sampleTime;
    }
};

static_assert(offsetof(RecorderOp, length) == 1 && offsetof(RecorderOp, bytes) == 2
              && offsetof(RecorderOp, stopped) == 5 && offsetof(RecorderOp, time) == 8);

static_assert(sizeof(RecorderOp) == 32);

/// Single-producer, single-consumer queue of recorder operations.
///
/// Operations live in fixed blocks linked into a list. The producer (the render thread) fills
/// the tail block and makes what it wrote visible with publish(); when a block is full it takes
/// an empty one from a free list that the consumer refills.
///
/// What it guarantees:
/// - The producer writes in runs: reserve(n) makes room for n operations in a row, then n
///   push() calls fill them. A run is all or nothing: when reserve() fails, nothing of the run
///   is written, so the producer can drop a whole event and stay in step with the consumer.
/// - Nothing reserved is dropped: every operation pushed is applied once, in the order pushed,
///   by the drain after the publish() that made it visible.
/// - The producer takes no lock and never waits for the consumer. Filling a block is plain
///   stores. Taking the next block pops the free list with a compare-and-swap, retried only
///   when the consumer pushed a block onto the list at that moment; the queue is therefore
///   lock-free, not wait-free. When the free list is empty (nobody drained for a long while, as
///   in an offline render with no reader), the producer allocates one more block: this slow
///   path is the producer's only allocation and is counted by slowPathCount(). When that
///   allocation fails, reserve() fails (counted by failedGrowthCount()); it never throws or
///   terminates.
/// - The consumer takes no lock of the queue's own and never waits for the producer; one
///   thread at a time drains (RecordingStore serialises its readers).
/// - Memory: preallocatedBlocks blocks at first; drained blocks go back to the free list, of
///   which at most maxSpareBlocks are kept (the consumer frees the rest), so once a burst has
///   been drained the steady state again needs no allocation.
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
    // A cycle writes through a cursor (beginWriting, push…, endWriting), then publishes.

    struct Cursor {
        RecorderOp* next;
        RecorderOp* end;
    };
    Cursor beginWriting() noexcept { return {tail->ops.data() + tailCount, tail->ops.data() + blockCapacity}; }
    /// Room for `count` (at most blockCapacity) operations in a row, moving on to a new block when
    /// the current one has less left (its rest is filled with Skip). False when that needed a
    /// block and none could be had: nothing changed.
    bool reserve(Cursor& cursor, std::size_t count) noexcept
    {
        return static_cast<std::size_t>(cursor.end - cursor.next) >= count || nextBlock(cursor);
    }
    /// The slot to fill next, within what reserve() made room for.
    RecorderOp& push(Cursor& cursor) noexcept { return *cursor.next++; }
    void endWriting(const Cursor& cursor) noexcept
    {
        tailCount = static_cast<std::size_t>(cursor.next - tail->ops.data());
    }
    /// Makes every slot written so far visible to the consumer.
    void publish() noexcept;

    // Consumer (one thread at a time).
    template <typename Apply>
    std::size_t drain(Apply&& apply);

    /// How many times the producer had to allocate a block because none was free.
    std::uint64_t slowPathCount() const noexcept { return slowPaths.load(std::memory_order_relaxed); }
    /// How many of those allocations failed.
    std::uint64_t failedGrowthCount() const noexcept { return failedGrowths.load(std::memory_order_relaxed); }

private:
    struct Block {
        std::array<RecorderOp, blockCapacity> ops;
        std::atomic<std::size_t> published{0};
        std::atomic<Block*> next{nullptr};
        Block* nextFree = nullptr;
    };

    bool nextBlock(Cursor& cursor) noexcept;
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
    std::atomic<std::uint64_t> failedGrowths{0};
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

}  // namespace Corvel
