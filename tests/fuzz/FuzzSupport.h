#pragma once

// What the fuzz targets share: a check that stops the run, and files read back by the
// project's own reader.

#include "MidiFileReader.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace SondrelFuzz {

/// A broken promise is a crash, so that libFuzzer keeps the input.
inline void require(bool ok)
{
    if (!ok)
        __builtin_trap();
}

/// A channel message with exactly its data bytes: what a track can hold.
inline bool isCompleteChannelMessage(const std::vector<std::uint8_t>& m)
{
    if (m.empty() || m[0] < 0x80 || m[0] >= 0xF0)
        return false;
    const std::size_t size = (m[0] & 0xE0) == 0xC0 ? 2 : 3;
    return m.size() == size && (size < 2 || m[1] < 0x80) && (size < 3 || m[2] < 0x80);
}

struct ReadBack {
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> channel;  ///< tick, bytes
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> meta;     ///< tick, type + data
};

/// A file the writer made: the project's reader must read it, format 0 at 480 ticks.
inline ReadBack readBack(const std::vector<std::uint8_t>& bytes)
{
    const auto result = Corvel::MidiFileReader::read(bytes);
    require(result.file.has_value() && result.file->format == 0 && result.file->ticksPerQuarterNote == 480);
    ReadBack out;
    for (const auto& e : result.file->events) {
        const auto data = result.file->bytesOf(e);
        require(e.kind == Corvel::MidiFileEvent::Kind::channel || e.kind == Corvel::MidiFileEvent::Kind::meta);
        std::vector<std::uint8_t> message(data.begin(), data.end());
        if (e.kind == Corvel::MidiFileEvent::Kind::meta) {
            message.insert(message.begin(), e.metaType);
            out.meta.emplace_back(e.tick, std::move(message));
        } else {
            out.channel.emplace_back(e.tick, std::move(message));
        }
    }
    return out;
}

/// The same messages at the same ticks with and without the tempo, which adds a 4/4 time
/// signature at tick 0 and only valid tempo events.
inline void requireSameWithTempo(const ReadBack& plain, const ReadBack& withTempo)
{
    require(plain.meta.empty() && withTempo.channel == plain.channel);
    require(!withTempo.meta.empty() && withTempo.meta[0] == (std::pair<std::uint64_t, std::vector<std::uint8_t>>{
                                                              0, {0x58, 0x04, 0x02, 0x18, 0x08}}));
    for (std::size_t i = 1; i < withTempo.meta.size(); ++i) {
        const auto& m = withTempo.meta[i].second;
        require(m.size() == 4 && m[0] == 0x51 && (m[1] | m[2] | m[3]) != 0);
    }
}

} // namespace SondrelFuzz
