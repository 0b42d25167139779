#include "RecorderQueue.h"

#include <new>

namespace Corvel {

RecorderQueue::RecorderQueue()
{
    tail = head = new Block;
    for (std::size_t i = 1; i < preallocatedBlocks; ++i)
        recycle(new Block);
}

RecorderQueue::~RecorderQueue()
{
    for (Block* b = head; b != nullptr;) {
        Block* next = b->next.load(std::memory_order_relaxed);
        delete b;
        b = next;
    }
    for (Block* b = freeList.load(std::memory_order_relaxed); b != nullptr;) {
        Block* next = b->nextFree;
        delete b;
        b = next;
    }
}

bool RecorderQueue::nextBlock(Cursor& cursor) noexcept
{
    Block* fresh = takeFreeBlock();
    if (fresh == nullptr) {
        // Slow path: nobody has drained in a long while. Keep the operations if memory allows.
        slowPaths.fetch_add(1, std::memory_order_relaxed);
        fresh = new (std::nothrow) Block;
        if (fresh == nullptr) {
            failedGrowths.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
    }
    fresh->published.store(0, std::memory_order_relaxed);
    fresh->next.store(nullptr, std::memory_order_relaxed);
    for (; cursor.next != cursor.end; ++cursor.next)
        cursor.next->kind = RecorderOp::Kind::Skip;
    tail->published.store(blockCapacity, std::memory_order_release);
    tail->next.store(fresh, std::memory_order_release);
    tail = fresh;
    tailCount = 0;
    cursor = beginWriting();
    return true;
}

void RecorderQueue::publish() noexcept { tail->published.store(tailCount, std::memory_order_release); }

RecorderQueue::Block* RecorderQueue::takeFreeBlock() noexcept
{
    // Only the producer pops, so a popped block cannot come back while we look at it.
    Block* top = freeList.load(std::memory_order_acquire);
    while (
        top != nullptr
        && !freeList.compare_exchange_weak(top, top->nextFree, std::memory_order_acquire, std::memory_order_acquire)) {
    }
    if (top != nullptr)
        freeCount.fetch_sub(1, std::memory_order_relaxed);
    return top;
}

void RecorderQueue::recycle(Block* block) noexcept
{
    if (freeCount.load(std::memory_order_relaxed) >= maxSpareBlocks) {
        delete block;  // consumer side: return what a long offline render made us take
        return;
    }
    freeCount.fetch_add(1, std::memory_order_relaxed);
    block->nextFree = freeList.load(std::memory_order_relaxed);
    while (
        !freeList.compare_exchange_weak(block->nextFree, block, std::memory_order_release, std::memory_order_relaxed)) {
    }
}

}  // namespace Corvel
