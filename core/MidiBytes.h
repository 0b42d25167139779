#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace Corvel {

/// The bytes of one MIDI message, held by value in eight bytes.
///
/// Messages of up to seven bytes (every channel, system-common and real-time message) live
/// inline, so storing, copying and queueing them never touches the heap. Longer messages are
/// kept in one heap block that the value owns; copying such a value copies the block.
///
/// Layout: on a little-endian machine the first byte of `raw` is the low byte of a heap
/// pointer, which is always even because heap blocks are at least 2-byte aligned. An inline
/// value therefore marks itself with an odd first byte: (size << 1) | 1, followed by the bytes.
class MidiBytes {
public:
    static constexpr std::size_t inlineCapacity = 7;

    MidiBytes() noexcept { raw[0] = 1; }
    MidiBytes(const std::uint8_t* bytes, std::size_t count);
    MidiBytes(std::initializer_list<std::uint8_t> bytes) : MidiBytes(bytes.begin(), bytes.size()) {}
    explicit MidiBytes(const std::vector<std::uint8_t>& bytes) : MidiBytes(bytes.data(), bytes.size()) {}

    // Inline values copy as eight bytes; only heap blocks take the out-of-line paths.
    MidiBytes(const MidiBytes& other)
    {
        if (other.isInline())
            std::memcpy(raw, other.raw, sizeof raw);
        else {
            raw[0] = 1;
            assign(other.data(), other.size());
        }
    }
    MidiBytes(MidiBytes&& other) noexcept
    {
        std::memcpy(raw, other.raw, sizeof raw);
        other.raw[0] = 1;
    }
    MidiBytes& operator=(const MidiBytes& other)
    {
        if (other.isInline() && isInline())
            std::memcpy(raw, other.raw, sizeof raw);
        else if (this != &other)
            assignSlow(other);
        return *this;
    }
    MidiBytes& operator=(MidiBytes&& other) noexcept
    {
        if (this != &other) {
            release();
            std::memcpy(raw, other.raw, sizeof raw);
            other.raw[0] = 1;
        }
        return *this;
    }
    ~MidiBytes() { release(); }

    std::size_t size() const noexcept { return isInline() ? raw[0] >> 1 : heapBlock()->size; }
    bool empty() const noexcept { return size() == 0; }
    const std::uint8_t* data() const noexcept { return isInline() ? raw + 1 : heapBlock()->bytes(); }
    std::uint8_t operator[](std::size_t index) const noexcept { return data()[index]; }
    const std::uint8_t* begin() const noexcept { return data(); }
    const std::uint8_t* end() const noexcept { return data() + size(); }

    /// True when the bytes live inside the value (no heap block).
    bool isInline() const noexcept { return (raw[0] & 1u) != 0; }

    std::vector<std::uint8_t> toVector() const { return {begin(), end()}; }

    friend bool operator==(const MidiBytes& a, const MidiBytes& b) noexcept;

private:
    struct HeapBlock {
        std::size_t size;
        std::uint8_t* bytes() noexcept { return reinterpret_cast<std::uint8_t*>(this + 1); }
    };
    static_assert(std::endian::native == std::endian::little,
                  "MidiBytes tags inline values through the low byte of the heap pointer");

    HeapBlock* heapBlock() const noexcept
    {
        HeapBlock* block;
        std::memcpy(&block, raw, sizeof block);
        return block;
    }
    void assign(const std::uint8_t* bytes, std::size_t count);
    void assignSlow(const MidiBytes& other);
    void release() noexcept
    {
        if (!isInline())
            releaseHeap();
    }
    void releaseHeap() noexcept;

    alignas(8) std::uint8_t raw[8];
};

static_assert(sizeof(MidiBytes) == 8);

}  // namespace Corvel
