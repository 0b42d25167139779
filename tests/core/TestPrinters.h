#pragma once

// Readable failure messages for the core's records, and small helpers shared by the core tests.

#include "NoteDetector.h"
#include "RecordedMIDIEvent.h"

#include <ostream>
#include <string>
#include <vector>

namespace Corvel {
inline void PrintTo(const RecordedMIDIEvent& e, std::ostream* os)
{
    *os << "{bytes [" << std::hex;
    for (std::uint8_t b : e.data)
        *os << " " << static_cast<int>(b);
    *os << std::dec << " ], sample " << e.sampleTime << ", bpm " << e.bpm << ", beat " << e.beatPosition << "}";
}
} // namespace Corvel

namespace SondrelTest {
/// The held note numbers, for messages.
inline std::string describe(const Corvel::HeldNotes& held)
{
    std::string s;
    for (int n = 0; n < 128; ++n)
        if (held[static_cast<std::size_t>(n)])
            s += std::to_string(n) + " ";
    return s;
}

/// Flags with the given note numbers held.
inline Corvel::HeldNotes heldSet(const std::vector<int>& notes)
{
    Corvel::HeldNotes held{};
    for (int n : notes)
        held[static_cast<std::size_t>(n)] = true;
    return held;
}
} // namespace SondrelTest
