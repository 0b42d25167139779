#include "MidiBytes.h"

#include <cstring>
#include <new>

namespace Corvel {

MidiBytes::MidiBytes(const std::uint8_t* bytes, std::size_t count)
{
    raw[0] = 1;
    assign(bytes, count);
}

void MidiBytes::assignSlow(const MidiBytes& other)
{
    MidiBytes copy(other);
    *this = std::move(copy);
}

void MidiBytes::assign(const std::uint8_t* bytes, std::size_t count)
{
    // Only called on an empty inline value.
    if (count <= inlineCapacity) {
        raw[0] = static_cast<std::uint8_t>((count << 1) | 1u);
        if (count > 0)
            std::memcpy(raw + 1, bytes, count);
        return;
    }
    void* memory = ::operator new(sizeof(HeapBlock) + count);
    auto* block = new (memory) HeapBlock{count};
    std::memcpy(block->bytes(), bytes, count);
    std::memcpy(raw, &block, sizeof block);
}

void MidiBytes::releaseHeap() noexcept
{
    ::operator delete(heapBlock());
    raw[0] = 1;
}

bool operator==(const MidiBytes& a, const MidiBytes& b) noexcept
{
    const auto n = a.size();
    return n == b.size() && (n == 0 || std::memcmp(a.data(), b.data(), n) == 0);
}

}  // namespace Corvel
