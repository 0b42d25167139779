#include "CaptureSession.h"

#include "ChordDescription.h"
#include "MidiSondrelAudioUnit.h"
#include "TempoDetector.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>

namespace {
constexpr std::size_t scalesShown = 3;

/// A tempo with two decimals, or "no tempo".
std::string tempoText(std::optional<double> bpm)
{
    std::ostringstream text;
    if (bpm && *bpm > 0.0)
        text << std::fixed << std::setprecision(2) << *bpm << " BPM";
    else
        text << "no tempo";
    return text.str();
}

/// The file's tempo when its first note sounds; 0 without a note.
double tempoAtFirstNote(const Corvel::MidiFile& file)
{
    for (const Corvel::MidiFileEvent& e : file.events) {
        const auto bytes = file.bytesOf(e);
        if (e.kind == Corvel::MidiFileEvent::Kind::channel && bytes.size() == 3 && (bytes[0] & 0xF0) == 0x90
            && bytes[2] != 0)
            return file.tempoMap.bpmAt(e.seconds);
    }
    return 0.0;
}

}  // namespace

CaptureSession::CaptureSession(const Corvel::MidiFile& midiFile, Options sessionOptions)
    : options(sessionOptions), player(midiFile, sampleRate, sessionOptions.passes, eventsPerBlock),
      processor(createPluginFilter()), unit(dynamic_cast<MidiSondrelAudioUnit&>(*processor))
{
    processor->setPlayHead(&playHead);
    processor->prepareToPlay(sampleRate, blockSize);
    if (options.stopped) {
        unit.kernel().setCaptureWhileStopped(true);
        standing.bpm = midiFile.tempoMap.bpmAt(0.0);
        const BarGrid::Place start = player.bars().placeOf(0.0);
        standing.timeSignatureNumerator = start.numerator;
        standing.timeSignatureDenominator = start.denominator;
        fileTempo = tempoAtFirstNote(midiFile);
    }
}

CaptureSession::~CaptureSession() { processor->releaseResources(); }

Corvel::NoteDetector& CaptureSession::analysedNotes()
{
    // Without a channel to leave out, the chords are exactly those the plug-in names.
    return options.ignoredChannel ? notesHeard : *unit.kernel().noteDetector;
}

std::string CaptureSession::describeHarmony(const std::string& chord, double beats)
{
    std::ostringstream line;
    line << std::left << std::setw(6) << player.bars().barBeat(beats) << "  " << std::setw(14) << chord << "  ";
    const auto scales = MidiSondrelAudioUnit::scalesForDisplay(analysedNotes().guessScale());
    for (std::size_t i = 0; i < scales.size() && i < scalesShown; ++i)
        line << (i > 0 ? ", " : "") << Corvel::scaleDisplayName(scales[i]);
    return line.str();
}

void CaptureSession::fillBlock(const FilePlayer::Stretch& stretch)
{
    // The stretch is in time order, so each event goes after those already in the buffer.
    // MidiBuffer::addEvent finds that place from the buffer's start, which is why stretches are
    // kept short (eventsPerBlock): the cost per event stays bounded however dense the file.
    // Like addEvent everywhere, messages too long for a MidiBuffer are left out.
    midi.clear();
    for (const auto& e : stretch.events)
        midi.addEvent(e.bytes.data(), static_cast<int>(e.bytes.size()), e.offset);
}

void CaptureSession::run(std::ostream& log, const SaveRecording& saveRecording)
{
    juce::AudioBuffer<float> audio(2, blockSize);
    FilePlayer::Stretch stretch;
    std::string lastPrinted;
    int currentPass = -1;

    while (player.next(blockSize, stretch)) {
        if (stretch.pass != currentPass) {
            currentPass = stretch.pass;
            lastPrinted.clear();
            if (player.passCount() > 1)
                log << "-- pass " << currentPass + 1 << " of " << player.passCount() << " --\n";
        }
        playHead.set(options.stopped ? standing : stretch.segment.position);
        fillBlock(stretch);
        double changeAt = stretch.segment.position.ppqPosition;
        bool notes = false;
        for (const auto& e : stretch.events) {
            const int status = e.bytes[0];
            if ((status & 0xF0) == 0x90 || (status & 0xF0) == 0x80) {
                // The chord changes with the last note of the stretch (normally all at one tick).
                changeAt = e.beats;
                notes = true;
            }
            if (options.ignoredChannel && status < 0xF0 && (status & 0x0F) != *options.ignoredChannel)
                notesHeard.handleMessage(e.bytes[0], e.bytes.size() > 1 ? e.bytes[1] : 0,
                                         e.bytes.size() > 2 ? e.bytes[2] : 0);
        }
        audio.setSize(2, stretch.segment.length, false, false, true);
        audio.clear();
        processor->processBlock(audio, midi);
        unit.kernel().midiRecorder->drain();  // the window's poll would, every 1/60 s

        if (notes) {
            const std::string chord = Corvel::describeChord(analysedNotes()).chord;
            if (!chord.empty() && chord != lastPrinted) {
                log << describeHarmony(chord, changeAt) << "\n";
                lastPrinted = chord;
            }
        }

        if (stretch.segment.endsAtLoopEnd) {
            saveLiveRecording(stretch.pass, log, saveRecording);
            if (options.stopped && stretch.pass + 1 < player.passCount())
                playSilence(static_cast<std::int64_t>(std::ceil(gapSeconds * sampleRate)));
        }
    }
    // The last pass (or the only one) ends with the file.
    saveLiveRecording(player.passCount() - 1, log, saveRecording);
}

void CaptureSession::playSilence(std::int64_t samples)
{
    juce::AudioBuffer<float> audio(2, blockSize);
    midi.clear();
    playHead.set(standing);
    for (; samples > 0; samples -= blockSize) {
        audio.setSize(2, static_cast<int>(std::min<std::int64_t>(samples, blockSize)), false, false, true);
        audio.clear();
        processor->processBlock(audio, midi);
    }
    unit.kernel().midiRecorder->drain();
}

void CaptureSession::saveLiveRecording(int pass, std::ostream& log, const SaveRecording& saveRecording)
{
    // The live recording holds the pass just played until the next pass's first event. It is
    // written where it is, without a copy: nothing else reads the recordings meanwhile.
    Corvel::RecordingStore& store = *unit.kernel().midiRecorder;
    const std::int64_t start = store.read(
        [](const Corvel::MIDIRecorder& r) { return r.getEventDetailsByIndex(0).startTime; });
    if (start == 0 || start == lastSaved)
        return;
    lastSaved = start;

    std::optional<Corvel::TempoEstimate> tempo;
    if (options.stopped) {
        tempo = store.detectTempo(start);
        log << "take " << pass + 1 << ": detected " << tempoText(tempo ? std::optional(tempo->bpm) : std::nullopt)
            << ", file " << tempoText(fileTempo) << "\n";
    }
    const auto bytes = store.read([&](const Corvel::MIDIRecorder& r) {
        const Corvel::Recording& live = r.getEventDetailsByIndex(0);
        if (tempo && options.file.withTempo)
            return Corvel::MidiFileWriter::writeOnGrid(live.events,
                                                       {tempo->bpm, tempo->firstBeatSampleTime, live.sampleRate});
        return Corvel::MidiFileWriter::write(live.events, options.file);
    });
    saveRecording(pass, bytes);
}
