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

using Message = std::vector<std::uint8_t>;
using Ticked = std::vector<std::pair<std::uint64_t, Message>>;

/// A channel message with exactly its data bytes: what a track can hold.
inline bool isCompleteChannelMessage(const Message& m)
{
    const std::size_t size = !m.empty() && (m[0] & 0xE0) == 0xC0 ? 2 : 3;
    return m.size() == size && m[0] >= 0x80 && m[0] < 0xF0 && m[1] < 0x80 && (size == 2 || m[2] < 0x80);
}

/// A written file as the project's reader reads it (which it must): format 0 at 480 ticks,
/// channel messages and meta events (type first) apart.
inline std::pair<Ticked, Ticked> readBack(const std::vector<std::uint8_t>& bytes)
{
    const auto result = Corvel::MidiFileReader::read(bytes);
    require(result.file.has_value() && result.file->format == 0 && result.file->ticksPerQuarterNote == 480);
    std::pair<Ticked, Ticked> channelAndMeta;
    for (const auto& e : result.file->events) {
        const auto data = result.file->bytesOf(e);
        const bool meta = e.kind == Corvel::MidiFileEvent::Kind::meta;
        require(meta || e.kind == Corvel::MidiFileEvent::Kind::channel);
        Message message(data.begin(), data.end());
        if (meta)
            message.insert(message.begin(), e.metaType);
        (meta ? channelAndMeta.second : channelAndMeta.first).emplace_back(e.tick, std::move(message));
    }
    return channelAndMeta;
}

/// The file with the tempo: the plain file's messages at their ticks, a 4/4 time signature at
/// tick 0 and nothing but valid tempo events after it.
inline void requireSameWithTempo(const std::vector<std::uint8_t>& plainFile, const std::vector<std::uint8_t>& tempoFile)
{
    const auto [plain, none] = readBack(plainFile);
    const auto [channel, meta] = readBack(tempoFile);
    require(none.empty() && channel == plain && !meta.empty() && meta[0] == Ticked::value_type{0, {0x58, 4, 2, 24, 8}});
    for (std::size_t i = 1; i < meta.size(); ++i)
        require(meta[i].second.size() == 4 && meta[i].second[0] == 0x51
                && (meta[i].second[1] | meta[i].second[2] | meta[i].second[3]) != 0);
}

}  // namespace SondrelFuzz
