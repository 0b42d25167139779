#pragma once

#include "FilePlayer.h"
#include "HostPlayHead.h"
#include "MidiFileReader.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <memory>
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

    /// `file` must outlive the session.
    CaptureSession(const Corvel::MidiFile& file, int passes);
    ~CaptureSession();

    /// Plays every pass. Chord lines go to `log`; each pass's recording is handed to
    /// `saveRecording(pass, bytes)` as soon as the pass ends.
    using SaveRecording = std::function<void(int pass, const std::vector<std::uint8_t>& midiFile)>;
    void run(std::ostream& log, const SaveRecording& saveRecording);

    /// "bar.beat  chord  scales" for `chord` (not empty) and the scales the plug-in shows now.
    std::string describeHarmony(const std::string& chord, double beats);

    int passCount() const noexcept { return player.passCount(); }
    bool hasEvents() const noexcept { return player.hasEvents(); }

private:
    void saveLiveRecording(int pass, const SaveRecording& saveRecording);

    FilePlayer player;
    std::unique_ptr<juce::AudioProcessor> processor;
    MidiSondrelAudioUnit& unit;
    HostPlayHead playHead;
    std::int64_t lastSaved = 0;  ///< start time of the last recording handed out
};
