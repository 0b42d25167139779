#include "CaptureSession.h"

#include "ChordDescription.h"
#include "MidiSondrelAudioUnit.h"

#include <iomanip>
#include <sstream>

namespace {
constexpr std::size_t scalesShown = 3;
}

CaptureSession::CaptureSession(const Corvel::MidiFile& midiFile, int passes)
    : player(midiFile, sampleRate, passes), processor(createPluginFilter()),
      unit(dynamic_cast<MidiSondrelAudioUnit&>(*processor))
{
    processor->setPlayHead(&playHead);
    processor->prepareToPlay(sampleRate, blockSize);
}

CaptureSession::~CaptureSession()
{
    processor->releaseResources();
}

std::string CaptureSession::describeHarmony(const std::string& chord, double beats)
{
    std::ostringstream line;
    line << std::left << std::setw(6) << player.bars().barBeat(beats) << "  " << std::setw(14) << chord << "  ";
    const auto scales = unit.currentScalesForDisplay();
    for (std::size_t i = 0; i < scales.size() && i < scalesShown; ++i)
        line << (i > 0 ? ", " : "") << Corvel::scaleDisplayName(scales[i]);
    return line.str();
}

void CaptureSession::run(std::ostream& log,
                         const SaveRecording& saveRecording)
{
    juce::AudioBuffer<float> audio(2, blockSize);
    juce::MidiBuffer midi;
    midi.ensureSize(64 * 1024);
    FilePlayer::Stretch stretch;
    std::string lastChord;
    int currentPass = -1;

    while (player.next(blockSize, stretch)) {
        if (stretch.pass != currentPass) {
            currentPass = stretch.pass;
            if (player.passCount() > 1)
                log << "-- pass " << currentPass + 1 << " of " << player.passCount() << " --\n";
        }
        playHead.set(stretch.segment.position);
        midi.clear();
        double changeAt = stretch.segment.position.ppqPosition;
        bool notes = false;
        for (const auto& e : stretch.events) {
            midi.addEvent(e.bytes.data(), static_cast<int>(e.bytes.size()), e.offset);
            const auto type = e.bytes[0] & 0xF0;
            if (type == 0x90 || type == 0x80) {
                // The chord changes with the last note of the stretch (normally all at one tick).
                changeAt = e.beats;
                notes = true;
            }
        }
        audio.setSize(2, stretch.segment.length, false, false, true);
        audio.clear();
        processor->processBlock(audio, midi);
        unit.kernel().midiRecorder->drain();  // the window's poll would, every 1/60 s

        if (notes) {
            const std::string chord = Corvel::describeCurrentChord(unit.kernel()).chord;
            if (chord != lastChord && !chord.empty())
                log << describeHarmony(chord, changeAt) << "\n";
            lastChord = chord;
        }

        if (stretch.segment.endsAtLoopEnd)
            saveLiveRecording(stretch.pass, saveRecording);
    }
    // The last pass (or the only one) ends with the file.
    saveLiveRecording(player.passCount() - 1, saveRecording);
}

void CaptureSession::saveLiveRecording(int pass, const SaveRecording& saveRecording)
{
    // The live recording holds the pass just played until the next pass's first event.
    const auto summaries = unit.kernel().midiRecorder->summaries();
    const std::int64_t live = summaries.empty() ? 0 : summaries.front().startTime;
    if (live == 0 || live == lastSaved)
        return;
    if (auto bytes = unit.kernel().midiRecorder->midiFileForRecording(live))
        saveRecording(pass, *bytes);
    lastSaved = live;
}
