#include "AssetCatalogue.h"

#include "BundleFinder.h"
#include "WickerlampResources.h"

namespace Wickerlamp {

AssetCatalogue::AssetCatalogue(std::vector<NamedColour> colourTable, std::vector<NamedImage> imageTable)
{
    for (const auto& entry : colourTable)
        colours.try_emplace(entry.name, juce::Colour(entry.argb));

    for (const auto& entry : imageTable) {
        if (images.count(entry.name) != 0)
            continue;
        auto drawable = juce::Drawable::createFromImageData(entry.data, static_cast<std::size_t>(entry.size));
        jassert(drawable != nullptr);  // artwork that does not parse is a build fault
        if (drawable != nullptr)
            images.emplace(entry.name, std::move(drawable));
    }
}

juce::Colour AssetCatalogue::colour(const juce::String& name) const
{
    const auto found = colours.find(name);
    return found != colours.end() ? found->second : juce::Colour(missingColour);
}

bool AssetCatalogue::hasColour(const juce::String& name) const { return colours.count(name) != 0; }

std::unique_ptr<juce::Drawable> AssetCatalogue::image(const juce::String& name) const
{
    const auto found = images.find(name);
    return found != images.end() ? found->second->createCopy() : nullptr;
}

bool AssetCatalogue::hasImage(const juce::String& name) const { return images.count(name) != 0; }

juce::StringArray AssetCatalogue::colourNames() const
{
    juce::StringArray names;
    for (const auto& [name, value] : colours)
        names.add(name);
    return names;
}

juce::StringArray AssetCatalogue::imageNames() const
{
    juce::StringArray names;
    for (const auto& [name, drawable] : images)
        names.add(name);
    return names;
}

const AssetCatalogue& AssetCatalogue::library()
{
    static const AssetCatalogue catalogue = [] {
        using namespace WickerlampResources;
        BundleFinder::resourceBundle();  // a build without its resources stops here
        return AssetCatalogue(
            {
                {"background", 0xff14171d},
                {"buttonText", 0xffa3aab7},
                {"tabSelected", 0xfff2f4f7},
                {"tabUnselected", 0xff6f7889},
                {"versionInfo", 0xff6f7889},
                {"updateBackground", 0xfff2b544},
            },
            {
                {"modern-button", modernbutton_svg, modernbutton_svgSize},
                {"modern-button-on", modernbuttonon_svg, modernbuttonon_svgSize},
                {"modern-button-down", modernbuttondown_svg, modernbuttondown_svgSize},
                {"modern-button-on-down", modernbuttonondown_svg, modernbuttonondown_svgSize},
                {"corvel-logo", corvellogo_svg, corvellogo_svgSize},
            });
    }();
    return catalogue;
}

}  // namespace Wickerlamp
