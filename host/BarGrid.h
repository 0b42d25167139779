#pragma once

#include "MidiFileReader.h"

#include <cstdint>
#include <string>
#include <vector>

/// Bars and beats over quarter-note positions, following time signature changes (4/4 where
/// none is given). A change that does not fall on a bar line starts a new bar. Beats count in
/// the signature's own unit (eighths in 6/8).
class BarGrid {
public:
    explicit BarGrid(const std::vector<Corvel::TimeSignature>& signatures = {});

    struct Place {
        std::int64_t bar = 1;  ///< from 1
        int beat = 1;          ///< from 1
        double barStart = 0.0;
        double barLength = 4.0;  ///< quarter notes
        int numerator = 4;
        int denominator = 4;
    };

    Place placeOf(double beats) const;
    /// "bar.beat", for example "3.2".
    std::string barBeat(double beats) const;
    /// The first bar line strictly after `beats`.
    double nextBarLineAfter(double beats) const;

private:
    struct Region {
        double start;
        double barLength;
        int numerator;
        int denominator;
        std::int64_t firstBar;
    };
    const Region& regionAt(double beats) const;

    std::vector<Region> regions;
};
