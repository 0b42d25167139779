// Plays takes through the kernel the way a host would and writes each as a Standard MIDI File,
// plain and with its tempo, next to a JSON list of what was played, for check_midi_files.py.

#include "KernelHarness.h"
#include "MidiFileWriter.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

/// At cycle start `timestamp` on `hostBeat`, an event `offset` samples into the cycle.
struct Played {
    std::int64_t timestamp;
    double hostBeat, tempo;
    std::int64_t offset;
    std::vector<std::uint8_t> bytes;
};
using Take = std::vector<Played>;

std::vector<Take> takes()
{
    return {
        // Notes, a controller, pitch bend, a velocity-0 note-on, two events at one sample time,
        // beats on half ticks (k/960 of a beat) or just beside them; then what a host may send
        // besides channel messages: clock, start, stop, song position, quarter frame, reset, a
        // lone F7, a status-less and an empty message, a cut note-on.
        {{48000, 1.0, 120.0, 0, {0x90, 60, 100}},
         {48000, 1.0, 120.0, 0, {0x90, 64, 90}},
         {72000, 1.5, 120.0, 0, {0xB0, 7, 99}},
         {96000, 2.0, 120.0, 12, {0xE0, 0x00, 0x60}},
         {120000, 2.5, 120.0, 0, {0x90, 60, 0}},
         {120001, 2.5 + 1.0 / 960.0, 120.0, 0, {0x80, 64, 0}},
         {120002, 3.0 + 3.0 / 960.0, 120.0, 0, {0xA0, 67, 30}},
         {120003, 4.0 + 0.0010416, 120.0, 0, {0xD0, 55}},
         {144000, 4.0 + 0.00104167, 120.0, 0, {0x90, 72, 1}},
         {144000, 4.0 + 0.00104167, 120.0, 300, {0x80, 72, 64}},
         {168000, 5.0, 120.0, 0, {0xF8}},
         {168000, 5.0, 120.0, 1, {0xFA}},
         {168000, 5.0, 120.0, 2, {0xF2, 0x10, 0x01}},
         {168000, 5.0, 120.0, 3, {0xF1, 0x21}},
         {168000, 5.0, 120.0, 4, {0xFF}},
         {168000, 5.0, 120.0, 5, {0xF7}},
         {168000, 5.0, 120.0, 6, {0x3C, 0x40}},
         {168000, 5.0, 120.0, 7, {}},
         {168000, 5.0, 120.0, 8, {0x90, 0x3C}},
         {168000, 5.0, 120.0, 9, {0x90, 76, 70}},
         {192000, 6.0, 120.0, 0, {0xFC}}},
        // The timeline jumped back: another tempo that changes, events spread inside cycles.
        {{1024, 0.0, 90.0, 100, {0x91, 48, 80}},
         {1024, 0.0, 90.0, 900, {0xC3, 12}},
         {44100, 1.5, 90.0, 17, {0xE5, 0x7F, 0x7F}},
         {88200, 3.0, 100.0, 0, {0x81, 48, 0}},
         {200000, 6.8, 75.5, 511, {0xB2, 123, 0}}},
        // A long held note over many bars.
        {{0, 0.0, 140.0, 0, {0x90, 36, 127}}, {4800000, 233.33, 140.0, 64, {0x80, 36, 0}}},
    };
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::ssize(b));
}

}  // namespace

/// Usage: write_midi_fixtures OUTPUT_DIR
int main(int argc, char** argv)
{
    const std::filesystem::path dir = argc == 2 ? argv[1] : ".";
    constexpr float sampleRate = 48000.0f;
    SondrelTest::Rig rig;
    rig.kernel.setSampleRate(sampleRate);

    std::ofstream json(dir / "expected.json");
    json.precision(17);
    json << "{\"sampleRate\": " << sampleRate << ", \"takes\": [";
    const std::vector<Take> all = takes();
    for (std::size_t t = 0; t < all.size(); ++t) {
        json << (t ? "," : "") << "[";
        for (const Played& p : all[t]) {
            rig.host.tempo = p.tempo;
            rig.host.beatPosition = p.hostBeat;
            const auto e = Corvel::RenderEvent::midi(p.timestamp + p.offset, p.bytes.data(),
                                                     static_cast<std::uint16_t>(p.bytes.size()));
            rig.kernel.process(p.timestamp, 0, {&e, 1});
            json << (&p != all[t].data() ? "," : "") << "[" << p.hostBeat << "," << p.tempo << "," << p.offset << ",[";
            for (std::size_t b = 0; b < p.bytes.size(); ++b)
                json << (b ? "," : "") << static_cast<int>(p.bytes[b]);
            json << "]]";
        }
        json << "]";
    }
    json << "]}\n";
    // Take n is written as take<n>.mid; the newest is in slot 0.
    const auto recordings = rig.recordings();
    for (std::size_t t = 0; t < all.size(); ++t) {
        const auto& recording = recordings[all.size() - 1 - t];
        const std::string name = "take" + std::to_string(t + 1) + ".mid";
        writeFile(dir / name, Corvel::MIDIRecorder::convertToMIDIBytes(recording.events));
        writeFile(dir / ("tempo-" + name), Corvel::MidiFileWriter::write(recording.events, {.withTempo = true}));
    }
    return 0;
}
