#pragma once

#include "FilePlayer.h"
#include "HostPlayHead.h"
#include "MidiFileReader.h"
#include "MidiFileWriter.h"
#include "MidiProcessor.h"
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
/// Stopped, the host's transport stands at the file's start (its tempo and time signature
/// there) and the plug-in captures while stopped: each pass is a free take, the passes kept
/// apart by more than the free take's silence (gapSeconds of empty blocks on the plug-in's
/// clock). Each take's detected tempo is printed beside the file's own.
///
/// Thread: the caller's, which plays both the host's render thread and the message thread.
class CaptureSession {
public:
    static constexpr double sampleRate = 48000.0;
    static constexpr int blockSize = 256;
    /// At most this many events go into one processBlock call (see fillBlock).
    static constexpr std::size_t eventsPerBlock = 256;
    /// Between the passes of a stopped session: more than a free take's silence.
    static constexpr double gapSeconds = Corvel::MidiProcessor::freeTakeSilenceSeconds + 1.0;

    struct Options {
        int passes = 1;
        Corvel::MidiFileWriter::Options file;
        /// A channel (0 to 15) the printed chords and scales leave out; the plug-in still hears it.
        std::optional<int> ignoredChannel;
        /// The transport stands still and the plug-in captures while stopped. With
        /// `file.withTempo`, a take with a detected tempo is written at that tempo.
        bool stopped = false;
    };

    /// `file` must outlive the session.
    CaptureSession(const Corvel::MidiFile& file, Options options);
    ~CaptureSession();

    /// Plays every pass. Chord lines go to `log`, never the same chord twice in a row within a
    /// pass; each pass's recording is handed to `saveRecording(pass, bytes)` as soon as the pass
    /// ends. Stopped, a line per take comes first: "take N: detected B BPM, file F BPM", each
    /// tempo with two decimals or "no tempo" (for F: no note-on in the file).
    using SaveRecording = std::function<void(int pass, const std::vector<std::uint8_t>& midiFile)>;
    void run(std::ostream& log, const SaveRecording& saveRecording);

    /// "bar.beat  chord  scales" for `chord` (not empty) and the scales of the notes held now.
    std::string describeHarmony(const std::string& chord, double beats);

    int passCount() const noexcept { return player.passCount(); }
    bool hasEvents() const noexcept { return player.hasEvents(); }
    /// Every pass, and the gaps between the passes of a stopped session.
    double playingSeconds() const noexcept
    {
        return player.playingSeconds() + (options.stopped ? gapSeconds * (player.passCount() - 1) : 0.0);
    }

private:
    void saveLiveRecording(int pass, std::ostream& log, const SaveRecording& saveRecording);
    void fillBlock(const FilePlayer::Stretch& stretch);
    /// Lets the plug-in's clock run on by `samples` with no MIDI, the play head where it stands.
    void playSilence(std::int64_t samples);
    Corvel::NoteDetector& analysedNotes();

    Options options;
    FilePlayer player;
    std::unique_ptr<juce::AudioProcessor> processor;
    MidiSondrelAudioUnit& unit;
    HostPlayHead playHead;
    HostPosition standing;   ///< where a stopped session's transport stands
    double fileTempo = 0.0;  ///< when the file's first note sounds; 0 without one
    juce::MidiBuffer midi;
    Corvel::NoteDetector notesHeard;  ///< what is played on the channels not ignored
    std::int64_t lastSaved = 0;       ///< start time of the last recording handed out
};
