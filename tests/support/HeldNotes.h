#pragma once

// Held-note helpers shared by the tests.

#include "NoteDetector.h"

#include <string>
#include <vector>

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
}  // namespace SondrelTest
