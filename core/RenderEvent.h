#pragma once

#include <cstdint>

namespace Corvel {

/// What a render event carries. MIDI messages of up to three bytes have their own type;
/// system-exclusive messages (and any longer message) are MIDISysEx.
enum class RenderEventType : std::uint8_t {
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
    std::int64_t sampleTime = 0;  ///< host timeline sample time of the event
    std::uint8_t inlineData[3] = {0, 0, 0};
    const std::uint8_t* externalData = nullptr;

    const std::uint8_t* bytes() const noexcept { return externalData != nullptr ? externalData : inlineData; }

    /// A MIDI message of up to three bytes (longer input is cut to three).
    static RenderEvent midi(std::int64_t sampleTime, const std::uint8_t* data, std::uint16_t length,
                            std::uint8_t cable = 0) noexcept
    {
        RenderEvent e;
        e.setMidi(sampleTime, data, length, cable);
        return e;
    }

    /// A system-exclusive (or other long) message; the bytes are not copied.
    static RenderEvent sysEx(std::int64_t sampleTime, const std::uint8_t* data, std::uint16_t length,
                             std::uint8_t cable = 0) noexcept
    {
        RenderEvent e;
        e.setSysEx(sampleTime, data, length, cable);
        return e;
    }

    // In place, for lists built on the render thread (no temporary to copy).
    /// A message as a host hands it over: one to three bytes that do not open a system-exclusive
    /// message are a MIDI message, anything else is passed on as system-exclusive.
    void set(std::int64_t time, const std::uint8_t* data, std::uint16_t count, std::uint8_t cableNumber) noexcept
    {
        if (count > 0 && count <= 3 && data[0] != 0xF0)
            setMidi(time, data, count, cableNumber);
        else
            setSysEx(time, data, count, cableNumber);
    }
    void setMidi(std::int64_t time, const std::uint8_t* data, std::uint16_t count, std::uint8_t cableNumber) noexcept
    {
        type = RenderEventType::MIDI;
        cable = cableNumber;
        length = count > 3 ? 3 : count;
        sampleTime = time;
        inlineData[0] = length > 0 ? data[0] : 0;
        inlineData[1] = length > 1 ? data[1] : 0;
        inlineData[2] = length > 2 ? data[2] : 0;
        externalData = nullptr;
    }
    void setSysEx(std::int64_t time, const std::uint8_t* data, std::uint16_t count, std::uint8_t cableNumber) noexcept
    {
        type = RenderEventType::MIDISysEx;
        cable = cableNumber;
        length = count;
        sampleTime = time;
        inlineData[0] = inlineData[1] = inlineData[2] = 0;
        externalData = data;
    }
};

}  // namespace Corvel
