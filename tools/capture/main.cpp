// midi-sondrel-capture: plays a Standard MIDI File (or the built-in demo) through the plug-in as
// a host would, prints the chords and scales it names, and writes each recording as a MIDI file.

#include "CaptureSession.h"
#include "DemoPerformance.h"
#include "MidiFileReader.h"

#include <juce_events/juce_events.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* usage = "usage: midi-sondrel-capture [--loop N] [--out DIR] [file.mid]";
constexpr std::int64_t maximumFileBytes = 64 * 1024 * 1024;
constexpr double maximumPlayingHours = 24.0;

struct Options {
    int passes = 1;
    juce::File outputFolder = juce::File::getCurrentWorkingDirectory().getChildFile("midi-sondrel-recordings");
    std::optional<juce::File> input;
};

/// One line on stderr; the caller exits with `code`.
int failWith(const std::string& message, int code = 1)
{
    std::cerr << "midi-sondrel-capture: " << message << "\n";
    return code;
}

std::optional<Options> parse(int argc, char** argv, std::string& error)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string(argv[++i]);
        };
        if (arg == "--loop") {
            const auto text = value();
            const juce::String n = text ? juce::String(*text) : juce::String();
            if (!text || !n.containsOnly("0123456789") || n.length() > 4 || n.getIntValue() < 1
                || n.getIntValue() > FilePlayer::maximumPasses) {
                error = "--loop takes a number of passes from 1 to " + std::to_string(FilePlayer::maximumPasses);
                return std::nullopt;
            }
            options.passes = n.getIntValue();
        } else if (arg == "--out") {
            const auto text = value();
            if (!text || text->empty()) {
                error = "--out takes a folder";
                return std::nullopt;
            }
            options.outputFolder = juce::File::getCurrentWorkingDirectory().getChildFile(*text);
        } else if (arg == "--help" || arg == "-h") {
            std::cout << usage << "\n";
            std::exit(0);
        } else if (arg.rfind("-", 0) == 0 && arg != "-") {
            error = "unknown option " + arg + " (" + usage + ")";
            return std::nullopt;
        } else if (options.input) {
            error = std::string("one MIDI file at a time (") + usage + ")";
            return std::nullopt;
        } else {
            options.input = juce::File::getCurrentWorkingDirectory().getChildFile(arg);
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    const auto options = parse(argc, argv, error);
    if (!options)
        return failWith(error, 2);

    // The plug-in's window model runs a message-thread timer; this thread is that thread.
    juce::ScopedJuceInitialiser_GUI juce;

    Corvel::MidiFile file;
    std::string name = "demo";
    if (options->input) {
        const juce::File& input = *options->input;
        const std::string path = input.getFullPathName().toStdString();
        if (!input.existsAsFile())
            return failWith(path + ": no such file");
        if (input.getSize() > maximumFileBytes)
            return failWith(path + ": larger than 64 MiB, not a MIDI file this tool reads");
        juce::MemoryBlock bytes;
        if (!input.loadFileAsData(bytes))
            return failWith(path + ": cannot be read");
        auto result = Corvel::MidiFileReader::read(
            {static_cast<const std::uint8_t*>(bytes.getData()), bytes.getSize()});
        if (!result.file)
            return failWith(path + ": " + result.error);
        file = std::move(*result.file);
        name = input.getFileNameWithoutExtension().toStdString();
    } else {
        file = DemoPerformance::asMidiFile();
        std::cout << "Playing the built-in demo (" << DemoPerformance::suggestedTempo << " BPM)\n";
    }

    CaptureSession session(file, options->passes);
    if (!session.hasEvents()) {
        std::cout << "Nothing to record: the file holds no MIDI messages\n";
        return 0;
    }
    const double hours = file.lengthSeconds * options->passes / 3600.0;
    if (hours > maximumPlayingHours)
        return failWith(name + ": plays for " + std::to_string(static_cast<long long>(hours)) + " hours; at most "
                        + std::to_string(static_cast<int>(maximumPlayingHours)) + " are played");

    if (!options->outputFolder.createDirectory())
        return failWith(options->outputFolder.getFullPathName().toStdString() + ": cannot create the folder");

    bool saveFailed = false;
    session.run(std::cout, [&](int pass, const std::vector<std::uint8_t>& bytes) {
        const juce::String fileName = juce::String(name) + "-" + juce::String(pass + 1) + ".mid";
        const juce::File out = options->outputFolder.getChildFile(fileName);
        if (out.replaceWithData(bytes.data(), bytes.size())) {
            std::cout << "MIDI saved to: " << out.getFullPathName() << "\n";
        } else {
            std::cout << "Failed to save MIDI file: " << out.getFullPathName() << " could not be written\n";
            saveFailed = true;
        }
    });
    std::cout << "Recordings are in " << options->outputFolder.getFullPathName() << "\n";
    return saveFailed ? 1 : 0;
}
