// Tempo detection on Standard MIDI Files that Debian packages ship, each played at its own tempo
// map: at least the given share must be found within 2 % of the file's first tempo (half or
// double is wrong). Prints every file. Usage: tempo_corpus MINIMUM_SHARE FILE...

#include "MidiFileReader.h"
#include "TempoDetector.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

int main(int argc, char** argv)
{
    int found = 0;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const auto read = Corvel::MidiFileReader::read(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
        const auto played = read.file ? Corvel::TempoDetector::performanceOf(*read.file, 48000.0f)
                                      : Corvel::TempoDetector::FilePerformance{};
        const auto estimate = Corvel::TempoDetector::estimate(played.noteOns, 48000.0f);
        const double bpm = estimate ? estimate->bpm : 0.0;
        const bool within = std::abs(bpm / played.bpm - 1.0) <= 0.02;
        found += within ? 1 : 0;
        std::printf("%-4s %7.2f BPM detected, %7.2f BPM in the file: %s\n", within ? "ok" : "MISS", bpm, played.bpm, argv[i]);
    }
    std::printf("%d passed, %d failed\n", found, argc - 2 - found);
    return argc > 11 && found >= std::atof(argv[1]) * (argc - 2) ? 0 : 1;  // ten files at least
}
