#pragma once

#include <cstdint>
#include <vector>

namespace Corvel {

/// A set of pitch classes 0..11 as a 12-bit mask. Iterates in ascending order.
class PitchClassSet {
public:
    constexpr PitchClassSet() = default;
    constexpr explicit PitchClassSet(std::uint16_t bits) : bits(bits & 0xFFF) {}

    static PitchClassSet fromNotes(const std::vector<int>& notes) noexcept
    {
        PitchClassSet set;
        for (int n : notes)
            set.bits |= static_cast<std::uint16_t>(1u << (((n % 12) + 12) % 12));
        return set;
    }
    static PitchClassSet fromIntervals(const std::vector<std::int32_t>& intervals) noexcept
    {
        PitchClassSet set;
        for (auto i : intervals)
            set.bits |= static_cast<std::uint16_t>(1u << (((i % 12) + 12) % 12));
        return set;
    }

    constexpr bool containsAll(PitchClassSet other) const noexcept { return (other.bits & ~bits) == 0; }
    constexpr std::uint16_t mask() const noexcept { return bits; }

    /// Every member moved down by `semitones` (0..11), wrapping: the member `semitones`
    /// becomes 0.
    constexpr PitchClassSet transposedDown(int semitones) const noexcept
    {
        return PitchClassSet(static_cast<std::uint16_t>((bits >> semitones) | (bits << (12 - semitones))));
    }
    constexpr PitchClassSet transposedUp(int semitones) const noexcept { return transposedDown((12 - semitones) % 12); }

    friend constexpr bool operator==(PitchClassSet, PitchClassSet) = default;

    class iterator {
    public:
        constexpr explicit iterator(std::uint16_t remaining) : remaining(remaining) {}
        int operator*() const noexcept { return __builtin_ctz(remaining); }
        iterator& operator++() noexcept
        {
            remaining &= static_cast<std::uint16_t>(remaining - 1);
            return *this;
        }
        friend constexpr bool operator==(iterator, iterator) = default;

    private:
        std::uint16_t remaining;
    };
    iterator begin() const noexcept { return iterator(bits); }
    iterator end() const noexcept { return iterator(0); }

private:
    std::uint16_t bits = 0;
};

}  // namespace Corvel
