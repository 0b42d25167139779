// Tempo detection on Standard MIDI Files that Debian packages ship, each played as a take at its
// own tempo map: the share of files whose first tempo is found within 2 % (half or double is
// wrong) must stay at least the given one. Prints every file and the misses.
// Usage: tempo_corpus MINIMUM_SHARE FILE...

#include "MidiFileReader.h"
#include "TempoDetector.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 12) {
        std::fprintf(stderr, "tempo_corpus: a share and at least ten files, please\n");
        return 2;
    }
    const double minimum = std::atof(argv[1]);
    int found = 0, files = 0;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        const auto read = Corvel::MidiFileReader::read(bytes);
        if (!read.file) {
            std::fprintf(stderr, "%s: %s\n", argv[i], read.error.c_str());
            return 2;
        }
        const auto performance = Corvel::TempoDetector::performanceOf(*read.file, 48000.0f);
        const auto estimate = Corvel::TempoDetector::estimate(performance.noteOns, 48000.0f);
        const double bpm = estimate ? estimate->bpm : 0.0;
        const bool within = std::abs(bpm / performance.bpm - 1.0) <= 0.02;
        found += within ? 1 : 0;
        ++files;
        std::printf("%-4s %7.2f BPM detected, %7.2f BPM in the file: %s\n", within ? "ok" : "MISS", bpm, performance.bpm, argv[i]);
    }
    const double share = static_cast<double>(found) / files;
    std::printf("%d passed, %d failed: %.1f %% within 2 %% (at least %.1f %% needed)\n", found, files - found, 100.0 * share,
                100.0 * minimum);
    return share >= minimum ? 0 : 1;
}
