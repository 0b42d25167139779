#pragma once

// Driving the plug-in inside the test process: a message loop we can pump, a scripted play head,
// a plug-in whose window model is ticked by hand, and for the library's controls: parameters and
// what a control told the host.

#include "AssetCatalogue.h"
#include "AudioParameter.h"
#include "MidiSondrelPlugin.h"
#include "Settings.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace juce {
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
}

namespace SondrelTest {

/// Delivers what is waiting on the message thread (this test thread), for at least `ms`.
inline void pumpMessages(int ms = 0)
{
    const auto until = juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(ms);
    do {
        while (juce::dispatchNextMessageOnSystemQueue(true)) {
        }
        if (ms > 0)
            juce::Thread::sleep(1);
    } while (juce::Time::getMillisecondCounter() < until);
}

/// A play head whose answer the test sets before each block; nullopt means "no position".
struct ScriptedPlayHead final : juce::AudioPlayHead {
    std::optional<PositionInfo> info;

    juce::Optional<PositionInfo> getPosition() const override
    {
        return info ? juce::Optional<PositionInfo>(*info) : juce::nullopt;
    }

    void set(std::int64_t timeInSamples, double ppq, double bpm, bool playing)
    {
        info = PositionInfo();
        info->setTimeInSamples(timeInSamples);
        info->setPpqPosition(ppq);
        info->setBpm(bpm);
        info->setIsPlaying(playing);
    }
};

struct Message {
    int offset;
    std::vector<juce::uint8> bytes;
    friend bool operator==(const Message&, const Message&) = default;
};

/// The plug-in as a host gets it from the factory.
struct Plugin {
    std::unique_ptr<juce::AudioProcessor> processor{createPluginFilter()};
    MidiSondrelPlugin& unit = dynamic_cast<MidiSondrelPlugin&>(*processor);
    ScriptedPlayHead playHead;
    juce::AudioBuffer<float> audio{2, 512};

    Plugin()
    {
        processor->setPlayHead(&playHead);
        // The start-up update check stays on this machine: a closed loopback port.
        unit.settings().updates.setUpdateServer("http://127.0.0.1:9");
    }

    void prepare(double rate = 48000.0, int block = 512) { processor->prepareToPlay(rate, block); }

    /// One block: what comes out of it.
    std::vector<Message> block(const std::vector<Message>& in, int samples = 512, bool bypassed = false)
    {
        audio.setSize(2, samples, false, false, true);
        juce::MidiBuffer midi;
        for (const auto& m : in)
            midi.addEvent(m.bytes.data(), static_cast<int>(m.bytes.size()), m.offset);
        if (bypassed)
            processor->processBlockBypassed(audio, midi);
        else
            processor->processBlock(audio, midi);
        std::vector<Message> out;
        for (const auto m : midi)
            out.push_back({m.samplePosition, std::vector<juce::uint8>(m.data, m.data + m.numBytes)});
        return out;
    }

    int recordingCount()
    {
        return unit.kernel().midiRecorder->read([](const Corvel::MIDIRecorder& r) { return r.getSavedEventCount(); });
    }
    std::vector<Corvel::RecordedMIDIEvent> liveEvents()
    {
        return unit.kernel().midiRecorder->read(
            [](const Corvel::MIDIRecorder& r) { return r.getEventDetailsByIndex(0).events.toVector(); });
    }
};

// Recordings are found by their start time, so each one gets its own millisecond.
inline std::atomic<std::int64_t> fakeNow{1700000000999};
inline std::int64_t fakeClock() noexcept { return fakeNow.fetch_add(1000); }

/// A plug-in whose model is ticked by hand: a tick is pollKernel alone, which does its work then
/// and there.
struct LiveModel : Plugin {
    Settings& settings = unit.settings();
    std::int64_t time = 0;
    double beat = 0.0;

    LiveModel()
    {
        settings.live.stopPolling();
        unit.kernel().setWallClock(&fakeClock);
        prepare(48000.0, 512);
        pumpMessages();  // the start-up update check is scheduled; it has nowhere to go
    }

    void tick() { settings.live.pollKernel(); }

    /// One block at the current position; each block advances 512 samples and a quarter beat.
    void play(const std::vector<Message>& in, bool playing = true)
    {
        playHead.set(time, beat, 120.0, playing);
        block(in);
        time += 512;
        beat += 0.25;
    }

    void jumpBack() { time = 0, beat = 0.0; }

    const RecordingSummaries& summaries() const { return settings.live.recordingInfo.summaries.peek(); }
    const MidiEventRows& rows() const { return settings.live.selectedRecordingEvents.peek(); }
};

/// Runs the action of the enabled item with that text (in submenus too); false when there is none.
inline bool choose(const juce::PopupMenu& menu, const juce::String& text)
{
    for (juce::PopupMenu::MenuItemIterator it(menu, true); it.next();)
        if (it.getItem().text == text && it.getItem().isEnabled && it.getItem().action)
            return it.getItem().action(), true;
    return false;
}

inline Message noteOn(int note, int offset = 0) { return {offset, {0x90, static_cast<juce::uint8>(note), 100}}; }
inline Message noteOff(int note, int offset = 0) { return {offset, {0x80, static_cast<juce::uint8>(note), 0}}; }

inline std::shared_ptr<Wickerlamp::AudioParameter> makeParameter(std::int32_t units, float lower, float upper,
                                                                 float value,
                                                                 std::optional<juce::StringArray> names = std::nullopt,
                                                                 juce::String name = "Mix")
{
    return std::make_shared<Wickerlamp::AudioParameter>(1, "p", std::move(name), units, lower, upper, value,
                                                        std::move(names));
}

/// Every value a control sent to the host through the parameter's node, in the parameter's range.
struct SentToHost final : juce::AudioProcessorParameter::Listener {
    Wickerlamp::ParameterNode& node;
    std::vector<float> values;

    explicit SentToHost(Wickerlamp::AudioParameter& p) : node(p.auParameter()) { node.addListener(this); }
    ~SentToHost() override { node.removeListener(this); }

    void parameterValueChanged(int, float normalised) override { values.push_back(node.denormalise(normalised)); }
    void parameterGestureChanged(int, bool) override {}
};

}  // namespace SondrelTest
