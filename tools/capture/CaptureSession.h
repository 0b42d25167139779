#pragma once

#include "FilePlayer.h"
#include "HostPlayHead.h"
#include "MidiFileReader.h"
#include "MidiFileWriter.h"
#include "NoteDetector.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class MidiSondrelAudioUnit;

/// Plays a MIDI file through the plug-in as a host would, block by block, and takes from it
/// what its window would show: a line per chord change and, per pass, the recording as a MIDI
/// file.
///
/// Thread: the caller's, which plays both the host's render thread and the message thread.
class CaptureSession {
public:
    static constexpr double sampleRate = 48000.0;
    static constexpr int blockSize = 256;
    /// At most this many events go into one processBlock call (see fillBlock).
    static constexpr std::size_t eventsPerBlock = 256;

    struct Options {
        int passes = 1;
        Corvel::MidiFileWriter::Options file;
        /// A channel (0 to 15) the printed chords and scales leave out; the plug-in still hears it.
        std::optional<int> ignoredChannel;
    };

    /// `file` must outlive the session.
    CaptureSession(const Corvel::MidiFile& file, Options options);
    ~CaptureSession();

    /// Plays every pass. Chord lines go to `log`, never the same chord twice in a row within a
    /// pass; each pass's recording is handed to `saveRecording(pass, bytes)` as soon as the pass
    /// ends.
    using SaveRecording = std::function<void(int pass, const std::vector<std::uint8_t>& midiFile)>;
    void run(std::ostream& log, const SaveRecording& saveRecording);

    /// "bar.beat  chord  scales" for `chord` (not empty) and the scales of the notes held now.
    std::string describeHarmony(const std::string& chord, double beats);

    int passCount() const noexcept { return player.passCount(); }
    bool hasEvents() const noexcept { return player.hasEvents(); }
    double playingSeconds() const noexcept { return player.playingSeconds(); }

private:
    void saveLiveRecording(int pass, const SaveRecording& saveRecording);
    void fillBlock(const FilePlayer::Stretch& stretch);
    Corvel::NoteDetector& analysedNotes();

    Options options;
    FilePlayer player;
    std::unique_ptr<juce::AudioProcessor> processor;
    MidiSondrelAudioUnit& unit;
    HostPlayHead playHead;
    juce::MidiBuffer midi;
    Corvel::NoteDetector notesHeard;  ///< what is played on the channels not ignored
    std::int64_t lastSaved = 0;  ///< start time of the last recording handed out
};
