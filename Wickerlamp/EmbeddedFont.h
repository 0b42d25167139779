#pragma once

#include <juce_graphics/juce_graphics.h>

#include <cstddef>

namespace Wickerlamp {

/// A typeface made from the bytes of a font file compiled into the binary.
///
/// Its fonts are sized by the em square, the way type sizes are given in a design: at 16
/// points the em is 16 points high (JUCE's own font height is the ascent plus descent, which
/// differs from the em by a factor that depends on the font). Read-only once made.
class EmbeddedFont {
public:
    EmbeddedFont(const void* fontFileData, std::size_t size);

    /// The typeface, or null when the bytes are not a font.
    juce::Typeface::Ptr typeface() const { return face; }

    /// The font with an em `size` points high (the default font when there is no typeface).
    juce::Font atSize(float size) const;

    /// JUCE's font height per point of em size (ascent plus descent over units per em).
    float heightPerEm() const { return heightForEm; }

private:
    juce::Typeface::Ptr face;
    float heightForEm = 1.0f;
};

}  // namespace Wickerlamp
