#include "TakesState.h"

#include "RecordingArchive.h"

namespace {

// Room for the archive's own headers beyond the events (a few bytes a take).
constexpr std::size_t archiveLimit = TakesState::eventByteLimit + 64 * 1024;

}  // namespace

TakesState::Saved TakesState::write(const Corvel::MIDIRecorder& recorder, juce::XmlElement& state)
{
    const auto archive = Corvel::RecordingArchive::encode(recorder, eventByteLimit);
    juce::MemoryOutputStream compressed;
    {
        juce::GZIPCompressorOutputStream gzip(compressed, 6);
        gzip.write(archive.bytes.data(), archive.bytes.size());
    }
    auto* element = state.createNewChildElement(elementName);
    element->setAttribute("kept", archive.takesKept);
    element->setAttribute("inUse", archive.takesInUse);
    element->addTextElement(juce::Base64::toBase64(compressed.getData(), compressed.getDataSize()));
    return {archive.takesKept, archive.takesInUse};
}

std::optional<std::vector<Corvel::Recording>> TakesState::read(const juce::XmlElement& state, int slotCount)
{
    const auto* element = state.getChildByName(elementName);
    if (element == nullptr)
        return std::nullopt;
    juce::MemoryOutputStream compressed;
    if (!juce::Base64::convertFromBase64(compressed, element->getAllSubText().trim()))
        return std::nullopt;

    juce::MemoryInputStream source(compressed.getData(), compressed.getDataSize(), false);
    juce::GZIPDecompressorInputStream gzip(source);
    std::vector<std::uint8_t> archive;
    std::uint8_t chunk[65536];
    while (!gzip.isExhausted()) {
        const int n = gzip.read(chunk, sizeof chunk);
        if (n <= 0)
            break;
        archive.insert(archive.end(), chunk, chunk + n);
        if (archive.size() > archiveLimit)
            return std::nullopt;  // no state of ours is that large
    }
    return Corvel::RecordingArchive::decode(archive, slotCount);
}
