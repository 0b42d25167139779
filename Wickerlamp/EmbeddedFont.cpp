#include "EmbeddedFont.h"

#include <cstdint>
#include <cstring>
#include <optional>

namespace Wickerlamp {

namespace {

/// The vertical metrics of an OpenType/TrueType file, read from its "head" and "hhea" tables,
/// the same ones FreeType scales JUCE's glyphs by.
struct VerticalMetrics {
    int unitsPerEm;
    int ascender;
    int descender;
};

std::optional<VerticalMetrics> readVerticalMetrics(const juce::uint8* bytes, std::size_t size)
{
    const auto u16 = [&](std::size_t at) -> std::optional<int> {
        if (at + 2 > size)
            return std::nullopt;
        return (bytes[at] << 8) | bytes[at + 1];
    };
    const auto u32 = [&](std::size_t at) -> std::optional<std::uint32_t> {
        if (at + 4 > size)
            return std::nullopt;
        return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16)
            | (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
    };
    const auto table = [&](const char* tag) -> std::optional<std::size_t> {
        const auto count = u16(4);
        for (int i = 0; count && i < *count; ++i) {
            const std::size_t record = 12 + 16 * static_cast<std::size_t>(i);
            if (record + 16 > size)
                return std::nullopt;
            if (std::memcmp(bytes + record, tag, 4) == 0)
                if (const auto offset = u32(record + 8))
                    return static_cast<std::size_t>(*offset);
        }
        return std::nullopt;
    };

    const auto head = table("head");
    const auto hhea = table("hhea");
    if (!head || !hhea)
        return std::nullopt;
    const auto unitsPerEm = u16(*head + 18);
    const auto ascender = u16(*hhea + 4);
    const auto descender = u16(*hhea + 6);
    if (!unitsPerEm || !ascender || !descender || *unitsPerEm == 0)
        return std::nullopt;
    return VerticalMetrics{*unitsPerEm, static_cast<std::int16_t>(*ascender), static_cast<std::int16_t>(*descender)};
}

}  // namespace

EmbeddedFont::EmbeddedFont(const void* fontFileData, std::size_t size)
    : face(juce::Typeface::createSystemTypefaceFor(fontFileData, size))
{
    const auto metrics = readVerticalMetrics(static_cast<const juce::uint8*>(fontFileData), size);
    if (metrics && metrics->ascender > metrics->descender)
        heightForEm = static_cast<float>(metrics->ascender - metrics->descender)
            / static_cast<float>(metrics->unitsPerEm);
    else if (face != nullptr && face->getHeightToPointsFactor() > 0.0f)
        heightForEm = 1.0f / face->getHeightToPointsFactor();
}

juce::Font EmbeddedFont::atSize(float size) const
{
    if (face == nullptr)
        return juce::Font(size);
    return juce::Font(face).withHeight(size * heightForEm);
}

}  // namespace Wickerlamp
