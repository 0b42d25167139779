#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>
#include <memory>
#include <vector>

namespace Wickerlamp {

/// Named colours and SVG images, the artwork a window refers to by name.
///
/// Built once from two tables and never changed afterwards, so any thread may read it. The
/// drawables it hands out are components: use them on the message thread.
class AssetCatalogue {
public:
    struct NamedColour {
        const char* name;
        juce::uint32 argb;
    };
    struct NamedImage {
        const char* name;
        const char* data;  ///< SVG bytes compiled into the binary
        int size;
    };

    /// Parses every image once. A name given twice keeps its first entry.
    AssetCatalogue(std::vector<NamedColour> colours, std::vector<NamedImage> images);

    /// The named colour, or opaque magenta when there is none, so that a misspelt name shows.
    juce::Colour colour(const juce::String& name) const;
    bool hasColour(const juce::String& name) const;

    /// A fresh copy of the named image at its natural size (the SVG's width and height in
    /// points), or null when there is none.
    std::unique_ptr<juce::Drawable> image(const juce::String& name) const;
    bool hasImage(const juce::String& name) const;

    juce::StringArray colourNames() const;
    juce::StringArray imageNames() const;

    /// The library's own artwork: the button backgrounds, the logo and the header's colours.
    static const AssetCatalogue& library();

    static constexpr juce::uint32 missingColour = 0xffff00ff;

private:
    std::map<juce::String, juce::Colour> colours;
    std::map<juce::String, std::unique_ptr<juce::Drawable>> images;
};

}  // namespace Wickerlamp
