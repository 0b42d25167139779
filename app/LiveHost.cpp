#include "LiveHost.h"

#include "MidiSondrelAudioUnit.h"

/// Calls renderBlock in real time: as many blocks as are due, then sleeps until the next one.
class LiveHost::Clock final : public juce::Thread {
public:
    explicit Clock(LiveHost& h) : juce::Thread("MIDI Sondrel clock"), host(h) {}

    void run() override
    {
        const double blockMs = 1000.0 * blockSize / sampleRate;
        double due = juce::Time::getMillisecondCounterHiRes();
        while (!threadShouldExit()) {
            const double now = juce::Time::getMillisecondCounterHiRes();
            if (now - due > 250.0)
                due = now;  // the machine stalled: carry on from now rather than race to catch up
            while (due <= now) {
                host.renderBlock();
                due += blockMs;
            }
            wait(juce::jmax(1, static_cast<int>(due - juce::Time::getMillisecondCounterHiRes())));
        }
    }

private:
    LiveHost& host;
};

/// Hands what the plug-in passed on to the output device, every millisecond.
class LiveHost::Sender final : public juce::Thread {
public:
    explicit Sender(LiveHost& h) : juce::Thread("MIDI Sondrel output"), host(h) {}

    void run() override
    {
        while (!threadShouldExit()) {
            host.sendPendingOutput();
            wait(1);
        }
    }

private:
    LiveHost& host;
};

// The audio unit learns that it runs in a standalone app, as JUCE's own standalone wrapper tells it.
LiveHost::LiveHost()
    : plugin((juce::AudioProcessor::setTypeOfNextNewPlugin(juce::AudioProcessor::wrapperType_Standalone),
              createPluginFilter())),
      unit(dynamic_cast<MidiSondrelAudioUnit&>(*plugin))
{
    juce::AudioProcessor::setTypeOfNextNewPlugin(juce::AudioProcessor::wrapperType_Undefined);
    plugin->setPlayHead(&playHead);
    plugin->setRateAndBufferSizeDetails(sampleRate, blockSize);
    plugin->prepareToPlay(sampleRate, blockSize);
    midi.ensureSize(MidiMessageFifo::capacity * 2);
}

LiveHost::~LiveHost()
{
    stopClock();
    openMidiInput({});
    openMidiOutput({});
    plugin->releaseResources();
}

void LiveHost::startClock()
{
    if (clock != nullptr)
        return;
    sender = std::make_unique<Sender>(*this);
    sender->startThread();
    clock = std::make_unique<Clock>(*this);
    clock->startThread(juce::Thread::Priority::highest);
}

void LiveHost::stopClock()
{
    if (clock != nullptr)
        clock->stopThread(2000);
    clock.reset();
    if (sender != nullptr)
        sender->stopThread(2000);
    sender.reset();
}

// Render thread.
void LiveHost::renderBlock() noexcept
{
    const bool playing = wantPlaying.load();
    const bool demoWanted = wantDemo.load();
    const std::uint32_t returns = returnRequests.load();
    const bool jumps = returns != returnsSeen;
    const bool stops = transport.isPlaying() && !playing;

    int done = 0;
    if ((jumps || stops || (demoOn && !demoWanted)) && demo.holdsNotes()) {
        // The demo's notes end on the old timeline, as a DAW ends notes before it locates.
        processSegment(transport.nextSegment(0, 1), true, true);
        done = 1;
    }

    transport.setTempo(wantTempo.load());
    transport.setLoopBars(wantLoopBars.load());
    transport.setLooping(wantLooping.load());
    if (playing)
        transport.play();
    else
        transport.stop();
    if (jumps) {
        transport.returnToStart();
        returnsSeen = returns;
    }
    demoOn = demoWanted;

    while (done < blockSize) {
        const HostSegment segment = transport.nextSegment(done, blockSize);
        processSegment(segment, done == 0, false);
        done += segment.length;
    }
    playingNow.store(transport.isPlaying(), std::memory_order_relaxed);
    beatsNow.store(transport.positionInBeats(), std::memory_order_relaxed);
    blocks.fetch_add(1, std::memory_order_relaxed);
}

// Render thread. One processBlock call for a stretch of the timeline without a jump.
void LiveHost::processSegment(const HostSegment& segment, bool withInput, bool releaseDemo) noexcept
{
    midi.clear();
    if (withInput)
        incoming.popAll([this](const std::uint8_t* bytes, int length) { midi.addEvent(bytes, length, 0); });
    const auto add = [this, &segment](int blockOffset, const std::uint8_t* bytes, int length) {
        midi.addEvent(bytes, length, blockOffset - segment.offset);
    };
    if (releaseDemo)
        demo.releaseAll(segment.offset, add);
    else if (demoOn)
        demo.render(segment, sampleRate, add);

    playHead.set(segment.position);
    juce::AudioBuffer<float> view(audio.getArrayOfWritePointers(), audio.getNumChannels(), segment.length);
    view.clear();
    plugin->processBlock(view, midi);

    for (const auto m : midi)
        outgoing.push(m.data, m.numBytes);
}

void LiveHost::sendPendingOutput()
{
    const juce::ScopedLock lock(outputLock);
    outgoing.popAll([this](const std::uint8_t* bytes, int length) {
        if (output != nullptr)
            output->sendMessageNow(juce::MidiMessage(bytes, length));
    });
}

void LiveHost::handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage& message)
{
    receiveMidi(message.getRawData(), message.getRawDataSize());
}

bool LiveHost::openMidiInput(const juce::String& identifier)
{
    if (input != nullptr)
        input->stop();
    input.reset();
    inputIdentifier = {};
    if (identifier.isEmpty())
        return true;
    input = juce::MidiInput::openDevice(identifier, this);
    if (input == nullptr)
        return false;
    inputIdentifier = identifier;
    input->start();
    return true;
}

bool LiveHost::openMidiOutput(const juce::String& identifier)
{
    auto device = identifier.isEmpty() ? nullptr : juce::MidiOutput::openDevice(identifier);
    const juce::ScopedLock lock(outputLock);
    output = std::move(device);
    outputIdentifier = output != nullptr ? identifier : juce::String();
    return identifier.isEmpty() || output != nullptr;
}
