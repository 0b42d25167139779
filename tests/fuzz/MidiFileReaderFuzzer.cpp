// The MIDI file reader on any bytes, and what it reads played as the capture tool plays it: no
// crash, no undefined behaviour, and everything it hands out within its bounds.

#include "FilePlayer.h"
#include "FuzzSupport.h"

#include <cmath>

using SondrelFuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto result = Corvel::MidiFileReader::read({data, size});
    require(result.file.has_value() != !result.error.empty());
    if (!result.file)
        return 0;
    const Corvel::MidiFile& file = *result.file;
    std::size_t playable = 0;
    for (std::size_t i = 0; i < file.events.size(); ++i) {
        const auto& e = file.events[i];
        require(std::uint64_t{e.dataOffset} + e.dataLength <= file.data.size());
        require(i == 0 || file.events[i - 1].tick <= e.tick);
        require(std::isfinite(e.beats) && std::isfinite(e.seconds));
        const auto bytes = file.bytesOf(e);
        using Kind = Corvel::MidiFileEvent::Kind;
        playable += e.kind == Kind::channel || (e.kind == Kind::sysEx && bytes.size() >= 2 && bytes.back() == 0xF7);
    }

    // Played when that takes at most a minute, with one to three passes.
    const int passes = 1 + static_cast<int>(size % 3);
    FilePlayer player(file, 48000.0, passes);
    require(player.hasEvents() == (playable > 0) && player.playingSeconds() >= 0.0);
    if (!(player.playingSeconds() <= 60.0))
        return 0;
    constexpr int block = 4096;
    FilePlayer::Stretch s;
    std::size_t played = 0;
    while (player.next(block, s)) {
        require(s.segment.length >= 0 && s.segment.length <= block);
        require(s.events.size() <= FilePlayer::maximumEventsPerStretch);
        for (const auto& e : s.events)
            require(e.offset >= 0 && e.offset < std::max(s.segment.length, 1) && !e.bytes.empty());
        played += s.events.size();
    }
    require(played == playable * static_cast<std::size_t>(passes));
    return 0;
}
