// midi-sondrel-capture: plays a Standard MIDI File (or the built-in demo) through the plug-in as
// a host would, prints the chords and scales it names, and writes each recording as a MIDI file.

#include "CaptureSession.h"
#include "DemoPerformance.h"
#include "MidiFileReader.h"

#include <juce_events/juce_events.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* usage =
    "usage: midi-sondrel-capture [--loop N] [--out DIR] [--with-tempo] [--stopped] [--ignore-channel N] [file.mid]";
constexpr const char* help =
    "  --loop N            play N passes (1 to 100), each a recording of its own\n"
    "  --out DIR           write the recordings into DIR (default ./midi-sondrel-recordings)\n"
    "  --with-tempo        write the files with their tempo and a 4/4 time signature\n"
    "  --stopped           play with the transport stopped and \"Capture while stopped\" on: each pass\n"
    "                      is a free take (more than 10 s of silence on the plug-in's clock go by\n"
    "                      between passes); prints each take's detected tempo and the file's;\n"
    "                      with --with-tempo, a take is written at its detected tempo\n"
    "  --ignore-channel N  leave channel N (1 to 16) out of the printed chords and scales\n";
constexpr std::size_t maximumFileBytes = 64 * 1024 * 1024;
constexpr double maximumPlayingHours = 24.0;

struct Options {
    CaptureSession::Options session;
    juce::File outputFolder = juce::File::getCurrentWorkingDirectory().getChildFile("midi-sondrel-recordings");
    std::optional<juce::File> input;
};

/// A whole number from `lowest` to `highest`, or nothing.
std::optional<int> numberIn(const std::optional<std::string>& text, int lowest, int highest)
{
    const juce::String n = text ? juce::String(*text) : juce::String();
    if (!text || n.isEmpty() || !n.containsOnly("0123456789") || n.length() > 4 || n.getIntValue() < lowest
        || n.getIntValue() > highest)
        return std::nullopt;
    return n.getIntValue();
}

/// The bytes of a regular file of at most maximumFileBytes, or why there are none. Devices,
/// pipes and folders are refused before anything is read from them (opening does not wait for
/// a pipe's writer).
std::optional<std::vector<std::uint8_t>> readRegularFile(const std::string& path, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ENOENT ? "no such file" : std::string("cannot be opened: ") + std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    std::vector<std::uint8_t> bytes;
    if (::fstat(fd, &info) != 0)
        error = std::string("cannot be read: ") + std::strerror(errno);
    else if (S_ISDIR(info.st_mode))
        error = "is a folder, not a MIDI file";
    else if (!S_ISREG(info.st_mode))
        error = "is not a regular file (a device, pipe or socket), not a MIDI file this tool reads";
    else if (static_cast<std::uintmax_t>(info.st_size) > maximumFileBytes)
        error = "larger than 64 MiB, not a MIDI file this tool reads";
    else {
        // Never more than the cap, even if the file grows while it is read.
        bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
        std::size_t got = 0;
        while (error.empty()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                error = std::string("cannot be read: ") + std::strerror(errno);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
            if (got > maximumFileBytes)
                error = "larger than 64 MiB, not a MIDI file this tool reads";
            else if (got == bytes.size())
                bytes.resize(std::min(2 * bytes.size(), maximumFileBytes + 1));
        }
        bytes.resize(got);
    }
    ::close(fd);
    if (!error.empty())
        return std::nullopt;
    return bytes;
}

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
            const auto passes = numberIn(value(), 1, FilePlayer::maximumPasses);
            if (!passes) {
                error = "--loop takes a number of passes from 1 to " + std::to_string(FilePlayer::maximumPasses);
                return std::nullopt;
            }
            options.session.passes = *passes;
        } else if (arg == "--ignore-channel") {
            const auto channel = numberIn(value(), 1, 16);
            if (!channel) {
                error = "--ignore-channel takes a MIDI channel from 1 to 16";
                return std::nullopt;
            }
            options.session.ignoredChannel = *channel - 1;
        } else if (arg == "--with-tempo") {
            options.session.file.withTempo = true;
        } else if (arg == "--stopped") {
            options.session.stopped = true;
        } else if (arg == "--out") {
            const auto text = value();
            if (!text || text->empty()) {
                error = "--out takes a folder";
                return std::nullopt;
            }
            options.outputFolder = juce::File::getCurrentWorkingDirectory().getChildFile(*text);
        } else if (arg == "--help" || arg == "-h") {
            std::cout << usage << "\n" << help;
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

}  // namespace

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
    std::string label = "the demo";
    if (options->input) {
        const juce::File& input = *options->input;
        const std::string path = input.getFullPathName().toStdString();
        std::string why;
        const auto bytes = readRegularFile(path, why);
        if (!bytes)
            return failWith(path + ": " + why);
        auto result = Corvel::MidiFileReader::read(*bytes);
        if (!result.file)
            return failWith(path + ": " + result.error);
        file = std::move(*result.file);
        name = input.getFileNameWithoutExtension().toStdString();
        label = path;
    } else {
        file = DemoPerformance::asMidiFile();
        std::cout << "Playing the built-in demo (" << DemoPerformance::suggestedTempo << " BPM)\n";
    }

    CaptureSession session(file, options->session);
    if (!session.hasEvents()) {
        std::cout << "Nothing to record: the file holds no MIDI messages\n";
        return 0;
    }
    // Every pass plays to its loop end, so that is what counts.
    const double hours = session.playingSeconds() / 3600.0;
    if (hours > maximumPlayingHours)
        return failWith(label + ": plays for "
                        + (hours < 1.0e9 ? std::to_string(static_cast<long long>(hours)) : "more than a billion")
                        + " hours; at most " + std::to_string(static_cast<int>(maximumPlayingHours)) + " are played");

    const juce::File& folder = options->outputFolder;
    if (!folder.createDirectory())
        return failWith(folder.getFullPathName().toStdString() + ": cannot create the folder");

    int saved = 0;
    bool saveFailed = false;
    session.run(std::cout, [&](int pass, const std::vector<std::uint8_t>& bytes) {
        if (saveFailed)
            return;  // one line says it; nothing after it claims a file
        const juce::File out = folder.getChildFile(juce::String(name) + "-" + juce::String(pass + 1) + ".mid");
        if (!out.replaceWithData(bytes.data(), bytes.size())) {
            failWith("Failed to save MIDI file: " + out.getFullPathName().toStdString() + " could not be written");
            saveFailed = true;
            return;
        }
        std::cout << "MIDI saved to: " << out.getFullPathName() << "\n";
        ++saved;
    });
    if (saveFailed)
        return 1;
    if (saved < session.passCount())
        return failWith("only " + std::to_string(saved) + " of " + std::to_string(session.passCount())
                        + " passes began a recording of their own");
    std::cout << "Recordings are in " << folder.getFullPathName() << "\n";
    return 0;
}
