#pragma once

#include <array>
#include <bitset>
#include <cstdint>

/// The notes a player has started and not yet ended, on all 16 channels, so that it can end
/// them where the timeline jumps or stops.
///
/// One owner (a render thread): no allocation, no locks.
class SoundingNotes {
public:
    /// Takes note of a channel message (status byte first). False for a note-off of a note that
    /// is not sounding; true for everything else.
    bool note(const std::uint8_t* bytes, int length) noexcept
    {
        if (length < 3)
            return true;
        const int kind = bytes[0] & 0xF0;
        const bool on = kind == 0x90 && bytes[2] != 0;
        if (!on && kind != 0x80 && kind != 0x90)
            return true;
        auto& channel = sounding[bytes[0] & 0x0F];
        const std::size_t key = bytes[1] & 0x7F;
        const bool was = channel[key];
        channel[key] = on;
        return on || was;
    }

    bool any() const noexcept
    {
        for (const auto& channel : sounding)
            if (channel.any())
                return true;
        return false;
    }

    /// `emit(bytes, 3)` with a note-off for every sounding note, which then counts as ended.
    template <typename Emit>
    void releaseAll(Emit&& emit)
    {
        for (std::size_t c = 0; c < sounding.size(); ++c)
            for (std::size_t n = 0; n < 128; ++n)
                if (sounding[c][n]) {
                    const std::uint8_t off[3] = {static_cast<std::uint8_t>(0x80 | c), static_cast<std::uint8_t>(n), 0};
                    sounding[c][n] = false;
                    emit(off, 3);
                }
    }

private:
    std::array<std::bitset<128>, 16> sounding{};
};
