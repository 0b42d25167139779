#include "MidiBytes.h"

#include <cstring>
#include <new>

namespace Corvel {

MidiBytes::MidiBytes(const std::uint8_t* bytes, std::size_t count)
{
    raw[0] = 1;
    assign(bytes, count);
}

MidiBytes::MidiBytes(const MidiBytes& other)
{
    raw[0] = 1;
    assign(other.data(), other.size());
}

MidiBytes::MidiBytes(MidiBytes&& other) noexcept
{
    std::memcpy(raw, other.raw, sizeof raw);
    other.raw[0] = 1;
}

MidiBytes& MidiBytes::operator=(const MidiBytes& other)
{
    if (this != &other) {
        if (other.isInline()) {
            release();
            std::memcpy(raw, other.raw, sizeof raw);
        } else {
            MidiBytes copy(other);
            *this = std::move(copy);
        }
    }
    return *this;
}

MidiBytes& MidiBytes::operator=(MidiBytes&& other) noexcept
{
    if (this != &other) {
        release();
        std::memcpy(raw, other.raw, sizeof raw);
        other.raw[0] = 1;
    }
    return *this;
}

MidiBytes::HeapBlock* MidiBytes::heapBlock() const noexcept
{
    HeapBlock* block;
    std::memcpy(&block, raw, sizeof block);
    return block;
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

void MidiBytes::release() noexcept
{
    if (!isInline()) {
        ::operator delete(heapBlock());
        raw[0] = 1;
    }
}

bool operator==(const MidiBytes& a, const MidiBytes& b) noexcept
{
    const auto n = a.size();
    return n == b.size() && (n == 0 || std::memcmp(a.data(), b.data(), n) == 0);
}

} // namespace Corvel
