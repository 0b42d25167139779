#include "CaptureSession.h"

#include "ChordDescription.h"
#include "MidiSondrelAudioUnit.h"

#include <cstring>
#include <iomanip>
#include <limits>
#include <sstream>

namespace {
constexpr std::size_t scalesShown = 3;

/// MidiBuffer's own layout of one event: sample offset, size, bytes.
constexpr std::size_t midiBufferHeaderSize = sizeof(std::int32_t) + sizeof(std::uint16_t);

/// Writes one event in that layout at `out`; returns how many bytes it took. Events written one
/// after the other in time order make a valid buffer in linear time, where MidiBuffer::addEvent
/// searches for every insert.
std::size_t writeMidiBufferEvent(std::uint8_t* out, std::int32_t offset, std::uint16_t length,
                                 const std::uint8_t* bytes) noexcept
{
    std::memcpy(out, &offset, sizeof offset);
    std::memcpy(out + sizeof offset, &length, sizeof length);
    std::memcpy(out + midiBufferHeaderSize, bytes, length);
    return midiBufferHeaderSize + length;
}
} // namespace

CaptureSession::CaptureSession(const Corvel::MidiFile& midiFile, Options sessionOptions)
    : options(sessionOptions), player(midiFile, sampleRate, sessionOptions.passes), processor(createPluginFilter()),
      unit(dynamic_cast<MidiSondrelAudioUnit&>(*processor))
{
    processor->setPlayHead(&playHead);
    processor->prepareToPlay(sampleRate, blockSize);
}

CaptureSession::~CaptureSession()
{
    processor->releaseResources();
}

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
    // In MidiBuffer's own layout, one event after the other: the stretch is in time order.
    // Like MidiBuffer::addEvent, messages too long for the layout are left out.
    std::size_t size = 0;
    for (const auto& e : stretch.events)
        if (e.bytes.size() <= std::numeric_limits<std::uint16_t>::max())
            size += midiBufferHeaderSize + e.bytes.size();
    midi.data.resize(static_cast<int>(size));
    std::uint8_t* out = midi.data.getRawDataPointer();
    for (const auto& e : stretch.events) {
        if (e.bytes.size() <= std::numeric_limits<std::uint16_t>::max())
            out += writeMidiBufferEvent(out, e.offset, static_cast<std::uint16_t>(e.bytes.size()), e.bytes.data());
    }
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
        playHead.set(stretch.segment.position);
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
                notesHeard.handleMessage(e.bytes[0], e.bytes.size() > 1 ? e.bytes[1] : 0, e.bytes.size() > 2 ? e.bytes[2] : 0);
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

        if (stretch.segment.endsAtLoopEnd)
            saveLiveRecording(stretch.pass, saveRecording);
    }
    // The last pass (or the only one) ends with the file.
    saveLiveRecording(player.passCount() - 1, saveRecording);
}

void CaptureSession::saveLiveRecording(int pass, const SaveRecording& saveRecording)
{
    // The live recording holds the pass just played until the next pass's first event. It is
    // written where it is, without a copy: nothing else reads the recordings meanwhile.
    auto bytes = unit.kernel().midiRecorder->read([this](const Corvel::MIDIRecorder& r) {
        const Corvel::Recording& live = r.getEventDetailsByIndex(0);
        return live.startTime == 0 || live.startTime == lastSaved
            ? std::nullopt
            : std::optional(std::pair(live.startTime, Corvel::MidiFileWriter::write(live.events, options.file)));
    });
    if (!bytes)
        return;
    lastSaved = bytes->first;
    saveRecording(pass, bytes->second);
}
