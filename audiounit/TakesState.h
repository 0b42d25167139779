#pragma once

#include "MIDIRecorder.h"

#include <juce_core/juce_core.h>

#include <cstddef>
#include <optional>
#include <vector>

/// The takes as part of the plug-in's saved state ("Keep takes with the project"): a "Takes"
/// element holding the recordings archived, gzip-compressed and in base64. Not the render thread.
class TakesState {
public:
    /// At most this many bytes of events go into a state; beyond it the oldest takes stay out.
    static constexpr std::size_t eventByteLimit = std::size_t{16} << 20;
    static constexpr const char* elementName = "Takes";

    struct Saved {
        int kept = 0;   ///< takes written
        int inUse = 0;  ///< takes there were

        friend bool operator==(const Saved&, const Saved&) = default;
    };

    /// Adds the element for the recorder's takes to `state`; says how many it kept.
    static Saved write(const Corvel::MIDIRecorder& recorder, juce::XmlElement& state);

    /// The takes of `state`'s element, or nothing when it has none or it is damaged.
    static std::optional<std::vector<Corvel::Recording>> read(const juce::XmlElement& state, int slotCount);
};
