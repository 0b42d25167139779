#include "Lv2Plugin.h"

#include "MidiSondrelPlugin.h"
#include "ParameterNode.h"
#include "PositionAtom.h"

#include <lv2/atom/util.h>

#include <juce_audio_processors/juce_audio_processors.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {
constexpr int maximumBlockForAudioUnit = 4096;
}  // namespace

/// Applies on the message thread what the render thread saw on the page port.
struct Lv2Plugin::PagePoll final : juce::Timer {
    static constexpr int hz = 30;
    Lv2Plugin& owner;
    explicit PagePoll(Lv2Plugin& p) : owner(p) { startTimerHz(hz); }
    void timerCallback() override { owner.applyRequestedPage(); }
};

Lv2Plugin::Lv2Plugin(double sampleRate, const LV2_URID_Map& map)
    : uris(map), rate(static_cast<float>(sampleRate)), messageThread(MessageThread::acquire())
{
    call([this, sampleRate] {
        processor.reset(createPluginFilter());
        unit = dynamic_cast<MidiSondrelPlugin*>(processor.get());
        if (unit == nullptr)
            throw std::runtime_error("the plug-in factory made no MidiSondrelPlugin");
        // Render resources; the audio unit's input bus, which it sizes by the block, is not used here.
        unit->prepareToPlay(sampleRate, maximumBlockForAudioUnit);
        auto& kernel = unit->kernel();
        kernel.setMusicalContextSource(this);
        kernel.setTransportStateSource(this);
        kernel.setMidiOutput(nullptr);  // run() copies the input to the output itself
        pagePoll = std::make_unique<PagePoll>(*this);
    });
}

Lv2Plugin::~Lv2Plugin()
{
    call([this] {
        pagePoll.reset();
        unit = nullptr;
        processor.reset();
    });
}

// Render thread (LV2's audio class), or before the first run.
void Lv2Plugin::connectPort(std::uint32_t port, void* data) noexcept
{
    switch (port) {
    case inputPort: input = static_cast<const LV2_Atom_Sequence*>(data); break;
    case outputPort: output = static_cast<LV2_Atom_Sequence*>(data); break;
    case pagePort: pageValue = static_cast<const float*>(data); break;
    default: break;
    }
}

void Lv2Plugin::activate() noexcept
{
    reader.reset();
    carrier.reset();
    position.reset();
}

// Render thread.
void Lv2Plugin::run(std::uint32_t frames) noexcept
{
    watchPagePort();

    if (output != nullptr) {
        outputCapacity = output->atom.size;
        output->atom.type = uris.atomSequence;
        output->atom.size = sizeof(LV2_Atom_Sequence_Body);
        output->body.unit = 0;
        output->body.pad = 0;
    }

    stretchStart = 0;
    std::size_t count = 0;  // events gathered for the stretch, at the start of `events`
    if (input != nullptr) {
        const LV2_Atom_Event* midiRun = nullptr;  // the first of the MIDI events in a row
        // Locals, which the byte stores into the events cannot be taken to change.
        const LV2_URID midiEvent = uris.midiEvent;
        Corvel::RenderEvent* const chunk = events.data();
        std::int64_t start = 0;
        LV2_ATOM_SEQUENCE_FOREACH(input, ev)
        {
            const std::int64_t frame = std::clamp<std::int64_t>(ev->time.frames, start, frames);
            if (ev->body.type == midiEvent) {
                midiRun = midiRun != nullptr ? midiRun : ev;
                if (count == eventsPerChunk) {  // a full chunk: the stretch ends here, the next goes on
                    endStretch(frame, count);
                    count = 0;
                    start = frame;
                }
                // The frame for now; endStretch makes it a host sample time.
                chunk[count++].set(frame, static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&ev->body)),
                                   static_cast<std::uint16_t>(std::min<std::uint32_t>(ev->body.size, 0xFFFF)), 0);
                continue;
            }
            copyToOutput(midiRun, ev);
            midiRun = nullptr;
            if ((ev->body.type == uris.atomObject || ev->body.type == uris.atomBlank)
                && reinterpret_cast<const LV2_Atom_Object*>(&ev->body)->body.otype == uris.timePosition) {
                // The position tells where its own frame lies, also for MIDI events at that frame
                // that came before it (Qtractor puts the object after the first note of a start).
                std::size_t atFrame = 0;
                while (atFrame < count && chunk[count - 1 - atFrame].sampleTime == frame)
                    ++atFrame;
                endStretch(frame, count - atFrame);
                std::copy(chunk + count - atFrame, chunk + count, chunk);
                count = atFrame;
                stretchReport = reader.read(
                    readPositionKeys(*reinterpret_cast<const LV2_Atom_Object*>(&ev->body), uris));
            }
            start = stretchStart;
        }
        copyToOutput(midiRun, lv2_atom_sequence_end(&input->body, input->atom.size));
    }
    endStretch(frames, count);
}

// Render thread. Appends the input's events [from, to) to the output as they are (a row of
// events lies in the input exactly as it does in the output); what does not fit is left out.
void Lv2Plugin::copyToOutput(const LV2_Atom_Event* from, const LV2_Atom_Event* to) noexcept
{
    if (from == nullptr || output == nullptr)
        return;
    const auto* begin = reinterpret_cast<const std::uint8_t*>(from);
    const auto* end = reinterpret_cast<const std::uint8_t*>(to);
    if (static_cast<std::size_t>(end - begin) > outputCapacity - output->atom.size) {
        for (auto* ev = from; ev < to && lv2_atom_sequence_append_event(output, outputCapacity, ev) != nullptr;)
            ev = lv2_atom_sequence_next(ev);
        return;
    }
    std::memcpy(lv2_atom_sequence_end(&output->body, output->atom.size), begin, static_cast<std::size_t>(end - begin));
    output->atom.size += static_cast<std::uint32_t>(end - begin);
}

// Render thread. Runs the kernel over the stretch of the cycle from stretchStart to `frame` with
// the first `eventCount` events, at the host's position for its start, and begins the next
// stretch there.
void Lv2Plugin::endStretch(std::int64_t frame, std::size_t eventCount) noexcept
{
    const std::int64_t length = frame - stretchStart;
    if (length > 0 || eventCount > 0 || stretchReport) {
        position = carrier.position(stretchReport ? &*stretchReport : nullptr, static_cast<int>(length), rate);
        stretchReport.reset();
        const std::int64_t offset = (position ? position->sampleTime : 0) - stretchStart;
        for (std::size_t i = 0; i < eventCount; ++i)
            events[i].sampleTime += offset;
        unit->kernel().process(position ? position->sampleTime : 0, static_cast<std::uint32_t>(length),
                               std::span(events.data(), eventCount));
    }
    stretchStart = frame;
}

// Render thread. A new value of the page port becomes a request for the message thread.
void Lv2Plugin::watchPagePort() noexcept
{
    if (pageValue == nullptr || !std::isfinite(*pageValue))
        return;
    const float v = *pageValue;
    if (!portSeen.load(std::memory_order_relaxed)) {
        portSeen.store(true, std::memory_order_relaxed);
        portValue = v;
        if (!portIsBaseline.exchange(false, std::memory_order_relaxed))
            requestedPage.store(v, std::memory_order_release);
        return;
    }
    if (v != portValue) {
        portValue = v;
        requestedPage.store(v, std::memory_order_release);
    }
}

Wickerlamp::ParameterNode* Lv2Plugin::pageNode() const
{
    for (auto* p : processor->getParameters())
        if (auto* node = dynamic_cast<Wickerlamp::ParameterNode*>(p);
            node != nullptr && node->getParameterID() == "mainMode")
            return node;
    return nullptr;
}

// Message thread.
void Lv2Plugin::applyRequestedPage()
{
    const float v = requestedPage.exchange(-1.0f, std::memory_order_acquire);
    if (v < 0.0f)
        return;
    if (auto* node = pageNode()) {
        const float page = std::round(std::clamp(v, node->description().minimum, node->description().maximum));
        if (page != node->value())
            node->setValueNotifyingHost(node->normalise(page));
    }
}

// Message thread.
float Lv2Plugin::page() const
{
    const auto* node = pageNode();
    return node != nullptr ? node->value() : 0.0f;
}

// Message thread.
int Lv2Plugin::pageParameterIndex() const
{
    const auto* node = pageNode();
    return node != nullptr ? node->getParameterIndex() : -1;
}

LV2_State_Status Lv2Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle)
{
    juce::String text;
    call([this, &text] {
        applyRequestedPage();  // what the host last set is what it saves
        juce::MemoryBlock blob;
        processor->getStateInformation(blob);
        text = blob.toBase64Encoding();
    });
    const std::string utf8 = text.toStdString();
    return store(handle, uris.stateKey, utf8.c_str(), utf8.size() + 1, uris.atomString,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Lv2Plugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle)
{
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    const void* data = retrieve(handle, uris.stateKey, &size, &type, &flags);
    if (data == nullptr)
        return LV2_STATE_ERR_NO_PROPERTY;
    if (type != uris.atomString)
        return LV2_STATE_ERR_BAD_TYPE;
    const auto* chars = static_cast<const char*>(data);
    const juce::String text(juce::CharPointer_UTF8(chars), juce::CharPointer_UTF8(chars + strnlen(chars, size)));
    juce::MemoryBlock blob;
    if (!blob.fromBase64Encoding(text))
        return LV2_STATE_ERR_UNKNOWN;
    call([this, &blob] {
        requestedPage.store(-1.0f, std::memory_order_relaxed);
        processor->setStateInformation(blob.getData(), static_cast<int>(blob.getSize()));
    });
    // The page came with the state: the port's next value is where the host's control stands,
    // not a choice (a session saved before the port existed has none for it).
    portSeen.store(false, std::memory_order_relaxed);
    portIsBaseline.store(true, std::memory_order_relaxed);
    return LV2_STATE_SUCCESS;
}
