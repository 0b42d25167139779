#pragma once

#include "MidiFileReader.h"

#include <array>
#include <cstdint>
#include <vector>

/// The built-in performance: four bars of 4/4 on MIDI channel 1, chords in the left hand and a
/// melody in the right, for someone trying the app without a keyboard at hand. Every note ends
/// before the next bar line, so a loop of any whole number of bars leaves no note hanging.
class DemoPerformance {
public:
    static constexpr double lengthInBeats = 16.0;
    static constexpr double suggestedTempo = 100.0;
    static constexpr int suggestedLoopBars = 4;

    struct Event {
        double beats = 0.0;  ///< from the start of the performance
        std::array<std::uint8_t, 3> bytes{};
    };

    /// Note-ons and note-offs in time order; at the same beat, note-offs come first.
    static const std::vector<Event>& events();
    /// The chord named in each bar, for tests and the README ("C Major", ...).
    static const std::array<const char*, 4>& chordsByBar();
    /// The performance as a format-0 file at 480 ticks per quarter note and the given tempo.
    static Corvel::MidiFile asMidiFile(double bpm = suggestedTempo);
};
