// Plays the events read from standard input, one a line ("timestamp beat tempo offset byte..."),
// through the kernel as a host would (a cycle an event, `offset` samples into it), and writes each
// take as take<n>.mid, oldest first, and with its tempo as tempo-take<n>.mid.

#include "KernelHarness.h"
#include "MidiFileWriter.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

/// Usage: write_midi_fixtures OUTPUT_DIR < EVENTS
int main(int argc, char** argv)
{
    const std::filesystem::path dir = argc == 2 ? argv[1] : ".";
    SondrelTest::Rig rig;
    rig.kernel.setSampleRate(48000.0f);
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream in(line);
        std::int64_t timestamp = 0, offset = 0;
        in >> timestamp >> rig.host.beatPosition >> rig.host.tempo >> offset;
        std::vector<std::uint8_t> bytes;
        for (int b = 0; in >> b;)
            bytes.push_back(static_cast<std::uint8_t>(b));
        const auto e = Corvel::RenderEvent::midi(timestamp + offset, bytes.data(),
                                                 static_cast<std::uint16_t>(bytes.size()));
        rig.kernel.process(timestamp, 0, {&e, 1});
    }
    const auto writeFile = [&](const std::string& name, const std::vector<std::uint8_t>& b) {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::ssize(b));
    };
    const auto recordings = rig.recordings();
    int n = 0;
    for (auto r = recordings.rbegin(); r != recordings.rend(); ++r)
        if (r->startTime != 0) {
            const std::string name = "take" + std::to_string(++n) + ".mid";
            writeFile(name, Corvel::MIDIRecorder::convertToMIDIBytes(r->events));
            writeFile("tempo-" + name, Corvel::MidiFileWriter::write(r->events, {.withTempo = true}));
        }
    return 0;
}
