// Plays several takes through the kernel, the way a host would, and writes each recording as
// a Standard MIDI File, plain and with its tempo, next to a JSON description of what was played.
// A reader that we did not write (mido, see check_midi_files.py) then checks every message and
// its absolute tick.

#include "MidiFileWriter.h"
#include "MidiProcessor.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Host final : Corvel::MusicalContextSource, Corvel::TransportStateSource {
    double tempo = 120.0;
    double beat = 0.0;
    bool musicalContext(double& t, double& b) noexcept override { t = tempo; b = beat; return true; }
    bool transportState(std::uint64_t& f) noexcept override { f = Corvel::TransportStateMoving; return true; }
};

struct Played {
    std::int64_t timestamp;  // cycle start
    double hostBeat;         // beat at the cycle start
    double tempo;
    std::int64_t offset;     // event sample time − cycle start
    std::vector<std::uint8_t> bytes;
};

using Take = std::vector<Played>;

std::vector<Take> takes()
{
    std::vector<Take> all;
    // Take 1: notes, a controller, pitch bend, a velocity-0 note-on, two events at one sample
    // time, and beats that fall on half ticks (k/960 of a beat) or just beside them.
    all.push_back({
        {48000, 1.0, 120.0, 0, {0x90, 60, 100}},
        {48000, 1.0, 120.0, 0, {0x90, 64, 90}},             // same sample time
        {72000, 1.5, 120.0, 0, {0xB0, 7, 99}},
        {96000, 2.0, 120.0, 12, {0xE0, 0x00, 0x60}},        // offset inside the cycle
        {120000, 2.5, 120.0, 0, {0x90, 60, 0}},             // velocity-0 note-on
        {120001, 2.5 + 1.0 / 960.0, 120.0, 0, {0x80, 64, 0}},   // half a tick after beat 2.5
        {120002, 3.0 + 3.0 / 960.0, 120.0, 0, {0xA0, 67, 30}},  // 1.5 ticks after beat 3
        {120003, 4.0 + 0.0010416, 120.0, 0, {0xD0, 55}},        // just below half a tick
        {144000, 4.0 + 0.00104167, 120.0, 0, {0x90, 72, 1}},    // just above half a tick
        {144000, 4.0 + 0.00104167, 120.0, 300, {0x80, 72, 64}},
        // What a host may send besides channel messages: clock, start, stop, song position,
        // quarter frame, reset, a lone F7, a status-less and an empty message, a cut note-on.
        {168000, 5.0, 120.0, 0, {0xF8}}, {168000, 5.0, 120.0, 1, {0xFA}}, {168000, 5.0, 120.0, 2, {0xF2, 0x10, 0x01}},
        {168000, 5.0, 120.0, 3, {0xF1, 0x21}}, {168000, 5.0, 120.0, 4, {0xFF}}, {168000, 5.0, 120.0, 5, {0xF7}},
        {168000, 5.0, 120.0, 6, {0x3C, 0x40}}, {168000, 5.0, 120.0, 7, {}}, {168000, 5.0, 120.0, 8, {0x90, 0x3C}},
        {168000, 5.0, 120.0, 9, {0x90, 76, 70}}, {192000, 6.0, 120.0, 0, {0xFC}},
    });
    // Take 2 (the timeline jumped back): another tempo, events spread inside cycles.
    all.push_back({
        {1024, 0.0, 90.0, 100, {0x91, 48, 80}},
        {1024, 0.0, 90.0, 900, {0xC3, 12}},
        {44100, 1.5, 90.0, 17, {0xE5, 0x7F, 0x7F}},
        {88200, 3.0, 100.0, 0, {0x81, 48, 0}},  // the tempo changes
        {200000, 6.8, 75.5, 511, {0xB2, 123, 0}},
    });
    // Take 3: a long held note over many bars.
    all.push_back({
        {0, 0.0, 140.0, 0, {0x90, 36, 127}},
        {4800000, 233.33, 140.0, 64, {0x80, 36, 0}},
    });
    return all;
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: write_midi_fixtures OUTPUT_DIR\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);

    constexpr float sampleRate = 48000.0f;
    Host host;
    Corvel::MidiProcessor kernel;
    kernel.setMusicalContextSource(&host);
    kernel.setTransportStateSource(&host);
    kernel.setSampleRate(sampleRate);

    const std::vector<Take> all = takes();
    for (const Take& take : all) {
        for (const Played& p : take) {
            host.tempo = p.tempo;
            host.beat = p.hostBeat;
            const Corvel::RenderEvent e = Corvel::RenderEvent::midi(
                p.timestamp + p.offset, p.bytes.data(), static_cast<std::uint16_t>(p.bytes.size()));
            kernel.process(p.timestamp, {&e, 1});
        }
    }

    std::ofstream json(dir / "expected.json");
    json.precision(17);
    json << "{\"sampleRate\": " << sampleRate << ", \"takes\": [\n";
    const int count = static_cast<int>(all.size());
    for (int t = 0; t < count; ++t) {
        // The newest take is in slot 0.
        const int slot = count - 1 - t;
        const auto recording = kernel.midiRecorder->read(
            [slot](const Corvel::MIDIRecorder& r) { return r.getEventDetailsByIndex(slot); });
        const std::string name = "take" + std::to_string(t + 1) + ".mid";
        writeFile(dir / name, Corvel::MIDIRecorder::convertToMIDIBytes(recording.events));
        writeFile(dir / ("tempo-" + name), Corvel::MidiFileWriter::write(recording.events, {.withTempo = true}));

        json << (t ? ",\n" : "") << "{\"file\": \"" << name << "\", \"played\": [";
        for (std::size_t i = 0; i < all[static_cast<std::size_t>(t)].size(); ++i) {
            const Played& p = all[static_cast<std::size_t>(t)][i];
            json << (i ? ", " : "") << "{\"hostBeat\": " << p.hostBeat << ", \"tempo\": " << p.tempo
                 << ", \"offset\": " << p.offset << ", \"bytes\": [";
            for (std::size_t b = 0; b < p.bytes.size(); ++b)
                json << (b ? ", " : "") << static_cast<int>(p.bytes[b]);
            json << "]}";
        }
        json << "]}";
    }
    json << "\n]}\n";
    return 0;
}
