#include "LiveHost.h"

#include "MidiSondrelPlugin.h"

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
      unit(dynamic_cast<MidiSondrelPlugin&>(*plugin))
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

    const int done = endNotesBeforeAChange(playing, jumps, demoWanted);
    if (files.begin())
        renderFile(done, playing, jumps, returns);
    else
        renderTransport(done, playing, jumps, returns, demoWanted);
    blocks.fetch_add(1, std::memory_order_relaxed);
}

// Render thread. Notes of the demo or of a file end on the old timeline, as a DAW ends notes
// before it stops or locates, and before another timeline takes over. Returns the samples used.
int LiveHost::endNotesBeforeAChange(bool playing, bool jumps, bool demoWanted) noexcept
{
    int done = 0;
    const bool fileChanges = files.changePending();
    if (files.holdsNotes() && (fileChanges || jumps || (fileMoving && !playing))) {
        HostSegment at{files.standing(), 0, 1, false};
        at.position.isPlaying = true;
        processSegment(at, true, [this](auto&& add) {
            files.releaseNotes([&](const std::uint8_t* bytes, int length) { add(0, bytes, length); });
        });
        done = 1;
    }
    const bool transportStops = transport.isPlaying() && !playing;
    if (demo.holdsNotes() && (jumps || transportStops || !demoWanted || fileChanges)) {
        processSegment(transport.nextSegment(done, done + 1), done == 0,
                       [this, done](auto&& add) { demo.releaseAll(done, add); });
        ++done;
    }
    return done;
}

// Render thread. The app's own timeline: tempo, loop of whole bars, and the demo.
void LiveHost::renderTransport(int done, bool playing, bool jumps, std::uint32_t returns, bool demoWanted) noexcept
{
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
    fileMoving = false;

    while (done < blockSize) {
        const HostSegment segment = transport.nextSegment(done, blockSize);
        processSegment(segment, done == 0, [this, &segment](auto&& add) {
            if (demoOn)
                demo.render(segment, sampleRate, add);
        });
        done += segment.length;
    }
    playingNow.store(transport.isPlaying(), std::memory_order_relaxed);
    beatsNow.store(transport.positionInBeats(), std::memory_order_relaxed);
}

// Render thread. An open file is the timeline: it plays while the transport plays, and at its
// end jumps back to its start (Loop on) or stops there.
void LiveHost::renderFile(int done, bool playing, bool jumps, std::uint32_t returns) noexcept
{
    if (jumps && files.returnToStart())
        returnsSeen = returns;  // otherwise the next block tries again
    demoOn = false;
    fileMoving = playing;
    const bool looping = wantLooping.load();
    while (fileMoving && done < blockSize) {
        const FilePlayer::Stretch* stretch = files.next(blockSize - done, looping);
        if (stretch == nullptr) {
            // The player has played all its passes: go on with a fresh one, or stop.
            if (!files.returnToStart())
                fileMoving = false;
            continue;
        }
        HostSegment segment = stretch->segment;
        segment.offset = done;
        const bool atEnd = segment.endsAtLoopEnd;
        processSegment(segment, done == 0, [this, stretch, &segment, atEnd](auto&& add) {
            for (const auto& e : stretch->events)
                add(segment.offset + e.offset, e.bytes.data(), static_cast<int>(e.bytes.size()));
            if (atEnd)
                files.releaseNotes([&](const std::uint8_t* bytes, int length) {
                    add(segment.offset + segment.length - 1, bytes, length);
                });
        });
        done += segment.length;
        if (atEnd && !looping) {
            fileMoving = false;
            wantPlaying.store(false);  // the end of the file stops the transport
        }
    }
    if (done < blockSize)
        processSegment({files.standing(), done, blockSize - done, false}, done == 0, [](auto&&) {});
    playingNow.store(fileMoving, std::memory_order_relaxed);
    beatsNow.store(files.standing().ppqPosition, std::memory_order_relaxed);
}

// Render thread. One processBlock call for a stretch of the timeline without a jump.
template <typename Events>
void LiveHost::processSegment(const HostSegment& segment, bool withInput, Events&& events) noexcept
{
    midi.clear();
    if (withInput)
        incoming.popAll([this](const std::uint8_t* bytes, int length) { midi.addEvent(bytes, length, 0); });
    events([this, &segment](int blockOffset, const std::uint8_t* bytes, int length) {
        midi.addEvent(bytes, length, blockOffset - segment.offset);
    });

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

void LiveHost::setDemoPlaying(bool on)
{
    if (on && files.isOpen())
        openFile(nullptr);
    wantDemo.store(on);
}

std::optional<juce::String> LiveHost::openMidiFile(const juce::File& file)
{
    constexpr std::int64_t largest = 64 * 1024 * 1024;
    if (!file.existsAsFile())
        return "no such file";
    if (file.getSize() > largest)
        return "larger than 64 MiB, not a MIDI file this app reads";
    juce::MemoryBlock bytes;
    if (!file.loadFileAsData(bytes))
        return "cannot be read";
    auto read = Corvel::MidiFileReader::read({static_cast<const std::uint8_t*>(bytes.getData()), bytes.getSize()});
    if (!read.file)
        return juce::String(read.error);
    if (!FilePlayer(*read.file, sampleRate, 1).hasEvents())
        return "the file holds no MIDI messages to play";
    openFile(std::make_shared<const Corvel::MidiFile>(std::move(*read.file)), file.getFileName());
    return std::nullopt;
}

void LiveHost::openFile(std::shared_ptr<const Corvel::MidiFile> file, juce::String name)
{
    if (file != nullptr)
        wantDemo.store(false);
    openFileName = file != nullptr ? std::move(name) : juce::String();
    files.open(std::move(file));
}

juce::String LiveHost::positionText() const { return files.bars().barBeat(positionInBeats()); }

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
