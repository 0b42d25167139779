#include "MIDIRecorder.h"

#include "SampleMath.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace Corvel {

MIDIRecorder::MIDIRecorder(int recordingCount, bool addsInitialProgramChange)
    : recordings(static_cast<std::size_t>(std::max(recordingCount, 0))),
      addsInitialProgramChange(addsInitialProgramChange)
{}

std::int64_t MIDIRecorder::currentWallClockMilliseconds() noexcept
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

Recording& MIDIRecorder::initialiseRecording(int index)
{
    return initialiseRecording(index, currentWallClockMilliseconds());
}

Recording& MIDIRecorder::initialiseRecording(int index, std::int64_t startTime)
{
    Recording& slot = recordings[static_cast<std::size_t>(index)];
    slot = Recording{};
    slot.startTime = startTime;
    slot.sampleRate = sampleRate;
    if (addsInitialProgramChange) {
        // Program Change 0 on channel 1 at the very start of the host's timeline: it anchors
        // every recording (and every exported file) at beat 0.
        slot.events.push_back(RecordedMIDIEvent{{0xC0, 0x00}, 0, tempo, 0.0});
    }
    return slot;
}

void MIDIRecorder::moveBuffersDownOne()
{
    // Moves, not copies: the older recordings keep their storage.
    for (std::size_t i = recordings.size(); i-- > 1;)
        recordings[i] = std::move(recordings[i - 1]);
    if (!recordings.empty())
        recordings[0] = Recording{};
}

void MIDIRecorder::setRecordingCount(int count) { recordings.resize(static_cast<std::size_t>(std::max(count, 1))); }

void MIDIRecorder::appendToLiveRecording(RecordedMIDIEvent event) { recordings[0].events.push_back(std::move(event)); }

void MIDIRecorder::replaceRecordings(std::vector<Recording> replacement)
{
    for (std::size_t i = 0; i < recordings.size(); ++i)
        recordings[i] = i < replacement.size() ? std::move(replacement[i]) : Recording{};
}

int MIDIRecorder::getSavedEventCount() const noexcept
{
    return static_cast<int>(
        std::count_if(recordings.begin(), recordings.end(), [](const Recording& r) { return r.startTime > 0; }));
}

Recording* MIDIRecorder::getEventDetailsByStartTime(std::int64_t startTime)
{
    auto found = std::find_if(recordings.begin(), recordings.end(),
                              [startTime](const Recording& r) { return r.startTime == startTime; });
    return found == recordings.end() ? nullptr : &*found;
}

const Recording* MIDIRecorder::getEventDetailsByStartTime(std::int64_t startTime) const
{
    return const_cast<MIDIRecorder*>(this)->getEventDetailsByStartTime(startTime);
}

EventSummary MIDIRecorder::getEventSummary(int index) const
{
    const Recording& slot = recordings[static_cast<std::size_t>(index)];
    EventSummary summary{slot.startTime, slot.events.size(), 0.0, slot.capturedWhileStopped, slot.lostEventCount};
    if (!slot.events.empty()) {
        const auto span = sampleSpan(slot.events.sampleTimeAt(slot.events.size() - 1), slot.events.sampleTimeAt(0));
        summary.duration = secondsForSamples(span, sampleRate);
    }
    return summary;
}

MIDIEventInfo MIDIRecorder::infoForEvent(const RecordedMIDIEvent& event) noexcept
{
    const MidiBytes& data = event.data;
    MIDIEventInfo info;
    if (data.empty())
        return info;

    const std::uint8_t status = data[0];
    info.channel = status & 0x0F;
    info.data1 = data.size() > 1 ? data[1] : 0;
    info.data2 = data.size() > 2 ? data[2] : 0;

    // Statuses below 0x80 wrap to a large nibble and fall through to Other.
    switch ((static_cast<std::uint32_t>(status) - 0x80u) >> 4) {
    case 0: info.type = MIDIEventType::NoteOff; break;
    case 1: info.type = info.data2 != 0 ? MIDIEventType::NoteOn : MIDIEventType::NoteOff; break;
    case 2: info.type = MIDIEventType::PolyPressure; break;
    case 3: info.type = info.data1 == 123 ? MIDIEventType::AllNotesOff : MIDIEventType::ControlChange; break;
    case 4: info.type = MIDIEventType::ProgramChange; break;
    case 5: info.type = MIDIEventType::ChannelPressure; break;
    case 6: info.type = MIDIEventType::PitchBend; break;
    case 7: info.type = MIDIEventType::SysEx; break;
    default: info.type = MIDIEventType::Other; break;
    }
    return info;
}

}  // namespace Corvel
