#pragma once

#include <cstdint>

namespace Corvel {

/// What a render event carries. MIDI messages of up to three bytes have their own type;
/// system-exclusive messages (and any longer message) are MIDISysEx.
enum class RenderEventType : std::uint8_t {
    Parameter = 1,
    ParameterRamp = 2,
    MIDI = 8,
    MIDISysEx = 9,
};

/// One event of a render cycle, as the host adapter hands it to the kernel. A plain value
/// built on the render thread without allocation: short messages are copied inline, longer
/// ones point at the host's bytes, which stay valid for the render call.
struct RenderEvent {
    RenderEventType type = RenderEventType::MIDI;
    std::uint8_t cable = 0;
    std::uint16_t length = 0;
    std::int64_t sampleTime = 0;           ///< host timeline sample time of the event
    std::uint8_t inlineData[3] = {0, 0, 0};
    const std::uint8_t* externalData = nullptr;

    const std::uint8_t* bytes() const noexcept { return externalData != nullptr ? externalData : inlineData; }

    /// A MIDI message of up to three bytes (longer input is cut to three).
    static RenderEvent midi(std::int64_t sampleTime, const std::uint8_t* data, std::uint16_t length,
                            std::uint8_t cable = 0) noexcept
    {
        RenderEvent e;
        e.type = RenderEventType::MIDI;
        e.cable = cable;
        e.sampleTime = sampleTime;
        e.length = length > 3 ? 3 : length;
        for (std::uint16_t i = 0; i < e.length; ++i)
            e.inlineData[i] = data[i];
        return e;
    }

    /// A system-exclusive (or other long) message; the bytes are not copied.
    static RenderEvent sysEx(std::int64_t sampleTime, const std::uint8_t* data, std::uint16_t length,
                             std::uint8_t cable = 0) noexcept
    {
        RenderEvent e;
        e.type = RenderEventType::MIDISysEx;
        e.cable = cable;
        e.sampleTime = sampleTime;
        e.length = length;
        e.externalData = data;
        return e;
    }
};

} // namespace Corvel
