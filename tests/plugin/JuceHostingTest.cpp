// JUCE's own plug-in hosting loads the built LV2 (reading its description with lilv) and VST3
// from disk and plays MIDI through them with a looping play head, as a DAW would.

#include "RecordingArchive.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

juce::String lv2Directory;
juce::String vst3Bundle;
constexpr const char* lv2Uri = "urn:corvel:midi-sondrel";
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 256;

/// A host timeline at 120 bpm that loops back to its start every eight blocks.
struct LoopingPlayHead final : juce::AudioPlayHead {
    std::int64_t block = 0;
    juce::Optional<PositionInfo> getPosition() const override
    {
        const std::int64_t samples = (block % 8) * blockSize;
        PositionInfo p;
        p.setTimeInSamples(samples);
        p.setBpm(120.0);
        p.setPpqPosition(static_cast<double>(samples) / sampleRate * 2.0);
        p.setIsPlaying(true);
        p.setIsLooping(true);
        p.setLoopPoints(juce::AudioPlayHead::LoopPoints{0.0, 8.0 * blockSize / sampleRate * 2.0});
        return p;
    }
};

struct Message {
    int offset;
    std::vector<juce::uint8> bytes;
    friend bool operator==(const Message&, const Message&) = default;
};

std::ostream& operator<<(std::ostream& os, const Message& m)
{
    return os << "@" << m.offset << ": " << juce::String::toHexString(m.bytes.data(), int(m.bytes.size()));
}

/// Every kind of message, at offsets across the block. What VST3 carries unchanged has no note-on
/// with velocity 0 (a note-off there), no controllers, pitch bend or program change (parameter
/// changes, which JUCE's VST3 host puts at the block's start): those are checked apart.
std::vector<Message> messagesForBlock(std::int64_t block, bool vst3)
{
    const auto n = static_cast<juce::uint8>(36 + block % 48);
    std::vector<Message> all = {
        {0, {0x90, n, 100}},      {3, {0xB0, 7, static_cast<juce::uint8>(block % 128)}},
        {64, {0xE1, 0x10, 0x40}}, {64, {0x92, static_cast<juce::uint8>(n + 4), 0}},  // velocity-0 note-on, same offset
        {100, {0xA3, n, 33}},     {150, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}},
        {200, {0xC0, 5}},         {255, {0x80, n, 64}}};
    std::erase_if(all, [vst3](const Message& m) {
        const auto kind = m.bytes[0] & 0xF0;
        return vst3 && (kind == 0xB0 || kind == 0xE0 || kind == 0xC0 || (kind == 0x90 && m.bytes[2] == 0));
    });
    return all;
}

/// One block through the plug-in: what comes out of it.
std::vector<Message> process(juce::AudioPluginInstance& plugin, const std::vector<Message>& in)
{
    juce::MidiBuffer midi;
    for (const auto& m : in)
        midi.addEvent(m.bytes.data(), static_cast<int>(m.bytes.size()), m.offset);
    juce::AudioBuffer<float> audio(std::max(2, plugin.getTotalNumOutputChannels()), blockSize);
    audio.clear();
    plugin.processBlock(audio, midi);
    std::vector<Message> out;
    for (const auto m : midi)
        out.push_back({m.samplePosition, std::vector<juce::uint8>(m.data, m.data + m.numBytes)});
    return out;
}

std::unique_ptr<juce::AudioPluginInstance> load(juce::AudioPluginFormat& format, const juce::String& fileOrId)
{
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile(found, fileOrId);
    if (found.isEmpty())
        return nullptr;
    juce::String error;
    auto instance = format.createInstanceFromDescription(*found[0], sampleRate, blockSize, error);
    if (instance == nullptr)
        ADD_FAILURE() << "could not instantiate: " << error;
    else
        EXPECT_TRUE(instance->getName() == "MIDI Sondrel" && instance->acceptsMidi() && instance->producesMidi());
    return instance;
}

juce::MemoryBlock stateOf(juce::AudioPluginInstance& plugin)
{
    juce::MemoryBlock state;
    return plugin.getStateInformation(state), state;
}

juce::AudioProcessorParameter* mainTab(juce::AudioPluginInstance& plugin)
{
    for (auto* p : plugin.getParameters())
        if (p->getName(100) == "Main Tab")
            return p;
    return nullptr;
}

/// Where a host keeps the plug-in's own blob, in JUCE's base64: JUCE's LV2 hosting in Turtle, quoted
/// after "StateString>"; its VST3 hosting in an XML document's "IComponent" (then JUCE's own data).
std::unique_ptr<juce::XmlElement> vst3State(const juce::MemoryBlock& state)
{
    auto xml = juce::AudioProcessor::getXmlFromBinary(state.getData(), static_cast<int>(state.getSize()));
    return xml != nullptr && xml->hasTagName("VST3PluginState") ? std::move(xml) : nullptr;
}

/// The plug-in's blob in a host's state, as JUCE's base64.
juce::String blobText(const juce::MemoryBlock& state)
{
    if (const auto vst3 = vst3State(state))
        return vst3->getChildElementAllSubText("IComponent", {});
    return state.toString()
        .fromFirstOccurrenceOf("StateString>", false, false)
        .fromFirstOccurrenceOf("\"", false, false)
        .upToFirstOccurrenceOf("\"", false, false);
}

juce::MemoryBlock withPluginBlob(const juce::MemoryBlock& state, const juce::MemoryBlock& blob)
{
    juce::MemoryBlock result;
    if (const auto vst3 = vst3State(state)) {
        vst3->getChildByName("IComponent")->deleteAllTextElements();
        vst3->getChildByName("IComponent")->addTextElement(blob.toBase64Encoding());
        juce::AudioProcessor::copyXmlToBinary(*vst3, result);
        return result;
    }
    const auto text = state.toString().replace(blobText(state), blob.toBase64Encoding());
    return juce::MemoryBlock(text.toRawUTF8(), text.getNumBytesAsUTF8() + 1);
}

/// The takes in a saved state, as the plug-in archives them ("Takes": zlib, then base64).
std::optional<std::vector<Corvel::Recording>> takesIn(const juce::MemoryBlock& state)
{
    juce::MemoryBlock blob;
    blob.fromBase64Encoding(blobText(state));
    const auto xml = juce::AudioProcessor::getXmlFromBinary(blob.getData(), static_cast<int>(blob.getSize()));
    const auto* takes = xml != nullptr ? xml->getChildByName("Takes") : nullptr;
    if (takes == nullptr)
        return std::nullopt;
    juce::MemoryOutputStream compressed;
    juce::Base64::convertFromBase64(compressed, takes->getAllSubText());
    juce::MemoryInputStream source(compressed.getData(), compressed.getDataSize(), false);
    juce::GZIPDecompressorInputStream zlib(source);
    juce::MemoryBlock archive;
    zlib.readIntoMemoryBlock(archive);
    return Corvel::RecordingArchive::decode(
        std::span(static_cast<const std::uint8_t*>(archive.getData()), archive.getSize()), 5);
}

/// With "Keep takes with the project" on and the page set by the host's parameter, five loop passes
/// with the MIDI unchanged leave five takes in the state; a fresh instance loaded from it shows the
/// page, passes controllers on and saves the same takes. Without the option the state holds none.
void checkTakesSurviveTheState(juce::AudioPluginFormat& format, const juce::String& fileOrId, bool vst3)
{
    auto plugin = load(format, fileOrId);
    ASSERT_NE(plugin, nullptr);
    const auto plain = stateOf(*plugin);
    EXPECT_FALSE(takesIn(plain)) << "takes saved with the option off";
    juce::XmlElement keep("MidiSondrelState");
    keep.setAttribute("mainMode", 0.0);
    keep.setAttribute("keepTakes", 1);
    juce::MemoryBlock blob;
    juce::AudioProcessor::copyXmlToBinary(keep, blob);
    const auto on = withPluginBlob(plain, blob);
    plugin->setStateInformation(on.getData(), static_cast<int>(on.getSize()));
    auto* tab = mainTab(*plugin);
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->getText(0.0f, 100) + "/" + tab->getText(1.0f, 100), "Events/Chord And Scale");
    // The page is set once the plug-in is prepared (JUCE's LV2 hosting re-instantiates the
    // plug-in there, with the values its ports had).
    LoopingPlayHead head;
    plugin->setPlayHead(&head);
    plugin->enableAllBuses();
    plugin->prepareToPlay(sampleRate, blockSize);
    tab->setValueNotifyingHost(1.0f);
    for (head.block = 0; head.block < 40; ++head.block)  // five passes of the loop
        EXPECT_EQ(process(*plugin, messagesForBlock(head.block, vst3)), messagesForBlock(head.block, vst3))
            << "block " << head.block;
    plugin->releaseResources();
    plugin->setPlayHead(nullptr);
    const auto saved = stateOf(*plugin);
    const auto takes = takesIn(saved);
    ASSERT_TRUE(takes);
    ASSERT_EQ(takes->size(), 5u);
    for (const auto& take : *takes)
        EXPECT_GE(take.events.size(), 1u + 8u * 3u) << "the anchor and eight blocks of three or more recorded events";

    auto fresh = load(format, fileOrId);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(mainTab(*fresh)->getValue(), 0.0f);
    fresh->setStateInformation(saved.getData(), static_cast<int>(saved.getSize()));
    // A block (some formats pass parameter changes only while processing) of controllers, pitch
    // bend, program change and channel pressure: they keep their values.
    const std::vector<Message> controls = {
        {10, {0xB2, 74, 99}}, {20, {0xE0, 0x00, 0x50}}, {30, {0xC1, 9}}, {40, {0xD4, 77}}};
    fresh->prepareToPlay(sampleRate, blockSize);
    const auto out = process(*fresh, controls);
    fresh->releaseResources();
    for (const auto& m : controls)
        EXPECT_TRUE(std::ranges::any_of(out, [&](const Message& o) { return o.bytes == m.bytes; })) << m;
    EXPECT_EQ(mainTab(*fresh)->getValue(), 1.0f);
    EXPECT_EQ(takesIn(stateOf(*fresh)), takes);
}

}  // namespace

TEST(JuceHosting, Lv2PassesMidiThroughUnchangedAndKeepsTakesAndThePageInItsState)
{
    juce::LV2PluginFormat lv2;
    lv2.searchPathsForPlugins(juce::FileSearchPath(lv2Directory), false, false);
    checkTakesSurviveTheState(lv2, lv2Uri, false);
}

TEST(JuceHosting, Vst3PassesMidiThroughUnchangedAndKeepsTakesAndThePageInItsState)
{
    juce::VST3PluginFormat vst3;
    checkTakesSurviveTheState(vst3, vst3Bundle, true);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: juce_hosting_tests LV2_DIRECTORY VST3_BUNDLE\n");
        return 2;
    }
    // Absolute, with any ".." resolved: lilv wants clean file URIs.
    const auto cwd = juce::File::getCurrentWorkingDirectory();
    lv2Directory = cwd.getChildFile(argv[1]).getFullPathName();
    vst3Bundle = cwd.getChildFile(argv[2]).getFullPathName();
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
