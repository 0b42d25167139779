#include "DemoPerformance.h"

#include <algorithm>

namespace {

struct Note {
    double start;
    double length;
    std::uint8_t pitch;
    std::uint8_t velocity;
};

// C major, A minor 7, D minor 7 (with a Dorian B in the melody), G dominant 7.
constexpr Note notes[] = {
    // bar 1: C E G under E G C B
    {0.0, 3.75, 48, 80},
    {0.0, 3.75, 52, 80},
    {0.0, 3.75, 55, 80},
    {0.0, 1.0, 64, 100},
    {1.0, 1.0, 67, 96},
    {2.0, 1.0, 72, 104},
    {3.0, 0.75, 71, 92},
    // bar 2: A C E G under A G E D
    {4.0, 3.75, 45, 80},
    {4.0, 3.75, 48, 80},
    {4.0, 3.75, 52, 80},
    {4.0, 3.75, 55, 80},
    {4.0, 1.5, 69, 100},
    {5.5, 0.5, 67, 90},
    {6.0, 1.0, 64, 96},
    {7.0, 0.75, 62, 92},
    // bar 3: D F A C under F A B C
    {8.0, 3.75, 50, 80},
    {8.0, 3.75, 53, 80},
    {8.0, 3.75, 57, 80},
    {8.0, 3.75, 60, 80},
    {8.0, 1.0, 65, 100},
    {9.0, 1.0, 69, 96},
    {10.0, 1.0, 71, 104},
    {11.0, 0.75, 72, 92},
    // bar 4: G B D F under D B G F
    {12.0, 3.75, 43, 80},
    {12.0, 3.75, 47, 80},
    {12.0, 3.75, 50, 80},
    {12.0, 3.75, 53, 80},
    {12.0, 1.0, 74, 100},
    {13.0, 1.0, 71, 96},
    {14.0, 1.0, 67, 104},
    {15.0, 0.75, 65, 92},
};

std::vector<DemoPerformance::Event> buildEvents()
{
    std::vector<DemoPerformance::Event> events;
    for (const Note& n : notes) {
        events.push_back({n.start, {0x90, n.pitch, n.velocity}});
        events.push_back({n.start + n.length, {0x80, n.pitch, 0}});
    }
    std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) {
        if (a.beats != b.beats)
            return a.beats < b.beats;
        return a.bytes[0] == 0x80 && b.bytes[0] != 0x80;
    });
    return events;
}

}  // namespace

const std::vector<DemoPerformance::Event>& DemoPerformance::events()
{
    static const std::vector<Event> table = buildEvents();
    return table;
}

const std::array<const char*, 4>& DemoPerformance::chordsByBar()
{
    static constexpr std::array<const char*, 4> names = {"C Major", "A Minor 7", "D Minor 7", "G Dominant 7"};
    return names;
}

Corvel::MidiFile DemoPerformance::asMidiFile(double bpm)
{
    Corvel::MidiFile file;
    file.format = 0;
    file.trackCount = 1;
    file.ticksPerQuarterNote = 480;
    file.tempoMap.addChangeAtBeats(0.0, bpm);
    for (const Event& e : events()) {
        Corvel::MidiFileEvent& out = file.events.emplace_back();
        out.tick = static_cast<std::uint64_t>(e.beats * 480.0);
        out.beats = e.beats;
        out.seconds = file.tempoMap.secondsAt(e.beats);
        out.dataOffset = static_cast<std::uint32_t>(file.data.size());
        out.dataLength = 3;
        file.data.insert(file.data.end(), e.bytes.begin(), e.bytes.end());
    }
    file.lengthBeats = lengthInBeats;
    file.lengthSeconds = file.tempoMap.secondsAt(lengthInBeats);
    return file;
}
