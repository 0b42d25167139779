#pragma once

#include "DemoPlayer.h"
#include "FilePlayback.h"
#include "HostPlayHead.h"
#include "HostTransport.h"
#include "MidiMessageFifo.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <memory>
#include <optional>

class MidiSondrelPlugin;

/// The standalone app's host: it owns the audio unit and plays it as a DAW would, block by block
/// on a clock of its own (48 kHz, blocks of 256 samples; the plug-in makes no sound, so no audio
/// device is claimed), with the transport's positions, the demo performance, and the MIDI of a
/// chosen input device; what the plug-in passes on goes to a chosen output device. An open MIDI
/// file takes the place of the app's own timeline: the transport then plays the file (its
/// tempo, its bars), and Loop repeats it from its end.
///
/// Threads: the message thread owns the object and asks for transport changes, which the render
/// thread takes up at the next block. The render thread (the clock, or a test calling
/// renderBlock with the clock stopped) alone runs the transport, the demo and the audio unit.
/// MIDI input arrives on the device's thread through a wait-free queue; MIDI output leaves
/// through another to a sender thread, so the render thread never calls into a device.
class LiveHost final : private juce::MidiInputCallback {
public:
    static constexpr double sampleRate = 48000.0;
    static constexpr int blockSize = 256;

    LiveHost();
    ~LiveHost() override;

    juce::AudioProcessor& processor() noexcept { return *plugin; }
    MidiSondrelPlugin& audioUnit() noexcept { return unit; }

    /// Starts and stops the clock thread that calls renderBlock in real time.
    void startClock();
    void stopClock();

    // --- requests (message thread), taken up at the next block -------------------------
    void setPlaying(bool shouldPlay) noexcept { wantPlaying.store(shouldPlay); }
    void returnToStart() noexcept { returnRequests.fetch_add(1); }
    void setLooping(bool on) noexcept { wantLooping.store(on); }
    void setLoopBars(int bars) noexcept { wantLoopBars.store(bars); }
    void setTempo(double bpm) noexcept { wantTempo.store(bpm); }
    /// The demo plays on the app's own timeline: switching it on closes an open file.
    void setDemoPlaying(bool on);

    // --- a MIDI file as the timeline (message thread) ----------------------------------
    /// Reads a Standard MIDI File and plays it from its start (the demo goes off). Returns why
    /// it cannot be played, or nothing.
    std::optional<juce::String> openMidiFile(const juce::File& file);
    /// Plays `file`, or goes back to the app's own timeline (nullptr).
    void openFile(std::shared_ptr<const Corvel::MidiFile> file, juce::String name = {});
    bool hasFile() const noexcept { return files.isOpen(); }
    juce::String fileName() const { return openFileName; }
    /// Keeps the file's next player ready; call on each turn of a timer while the clock runs.
    void serviceFilePlayback() { files.service(); }
    /// "bar.beat" of the timeline, in the file's own bars while a file is open.
    juce::String positionText() const;

    bool wantsPlaying() const noexcept { return wantPlaying.load(); }
    bool wantsLooping() const noexcept { return wantLooping.load(); }
    int wantedLoopBars() const noexcept { return wantLoopBars.load(); }
    double wantedTempo() const noexcept { return wantTempo.load(); }
    bool wantsDemo() const noexcept { return wantDemo.load(); }

    // --- what the render thread last did (any thread) -----------------------------------
    bool isPlaying() const noexcept { return playingNow.load(std::memory_order_relaxed); }
    double positionInBeats() const noexcept { return beatsNow.load(std::memory_order_relaxed); }
    std::uint64_t blocksRendered() const noexcept { return blocks.load(std::memory_order_relaxed); }

    // --- MIDI devices (message thread) ---------------------------------------------------
    /// An empty identifier closes the device. False when the device could not be opened.
    bool openMidiInput(const juce::String& identifier);
    bool openMidiOutput(const juce::String& identifier);
    juce::String midiInputIdentifier() const { return inputIdentifier; }
    juce::String midiOutputIdentifier() const { return outputIdentifier; }

    /// Where MIDI from an input device enters (its thread; single producer).
    void receiveMidi(const std::uint8_t* bytes, int length) noexcept { incoming.push(bytes, length); }
    /// Calls `take(bytes, length)` for what the plug-in passed on since the last call, when no
    /// output device takes it (tests; the sender thread otherwise).
    template <typename Take>
    void takeOutgoing(Take&& take) noexcept
    {
        outgoing.popAll(std::forward<Take>(take));
    }

    /// Render thread: one block of blockSize samples.
    void renderBlock() noexcept;

private:
    class Clock;
    class Sender;

    void handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage& message) override;
    int endNotesBeforeAChange(bool playing, bool jumps, bool demoWanted) noexcept;
    void renderTransport(int done, bool playing, bool jumps, std::uint32_t returns, bool demoWanted) noexcept;
    void renderFile(int done, bool playing, bool jumps, std::uint32_t returns) noexcept;
    /// One processBlock call for `segment`; `events(add)` adds its MIDI with
    /// add(blockOffset, bytes, length).
    template <typename Events>
    void processSegment(const HostSegment& segment, bool withInput, Events&& events) noexcept;
    void sendPendingOutput();

    std::unique_ptr<juce::AudioProcessor> plugin;
    MidiSondrelPlugin& unit;

    // Render thread only.
    HostTransport transport{sampleRate, 120.0};
    DemoPlayer demo;
    bool demoOn = false;
    bool fileMoving = false;
    std::uint32_t returnsSeen = 0;
    HostPlayHead playHead;
    juce::AudioBuffer<float> audio{2, blockSize};
    juce::MidiBuffer midi;

    // Message thread → render thread.
    std::atomic<bool> wantPlaying{false};
    std::atomic<bool> wantLooping{false};
    std::atomic<int> wantLoopBars{4};
    std::atomic<double> wantTempo{120.0};
    std::atomic<bool> wantDemo{false};
    std::atomic<std::uint32_t> returnRequests{0};

    // Render thread → anyone.
    std::atomic<bool> playingNow{false};
    std::atomic<double> beatsNow{0.0};
    std::atomic<std::uint64_t> blocks{0};

    FilePlayback files{sampleRate};  ///< opened on the message thread, played on the render thread
    juce::String openFileName;       ///< message thread

    MidiMessageFifo incoming;  ///< input device thread → render thread
    MidiMessageFifo outgoing;  ///< render thread → sender thread

    juce::CriticalSection outputLock;  ///< message thread and sender thread only
    std::unique_ptr<juce::MidiOutput> output;
    std::unique_ptr<juce::MidiInput> input;
    juce::String inputIdentifier;
    juce::String outputIdentifier;

    std::unique_ptr<Clock> clock;
    std::unique_ptr<Sender> sender;
};
