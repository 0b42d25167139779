#include "BundleFinder.h"

#include "WickerlampResources.h"

#include <cstdio>
#include <cstdlib>

namespace Wickerlamp {

juce::MemoryBlock ResourceBundle::named(const juce::String& fileName) const
{
    for (int i = 0; i < WickerlampResources::namedResourceListSize; ++i) {
        if (fileName == WickerlampResources::originalFilenames[i]) {
            int size = 0;
            const char* data = WickerlampResources::getNamedResource(WickerlampResources::namedResourceList[i], size);
            return {data, static_cast<std::size_t>(size)};
        }
    }
    return {};
}

const ResourceBundle& BundleFinder::resourceBundle()
{
    static const ResourceBundle bundle = [] {
        if (WickerlampResources::namedResourceListSize == 0) {
            std::fputs("unable to find bundle named Wickerlamp_Wickerlamp\n", stderr);
            std::abort();
        }
        return ResourceBundle{};
    }();
    return bundle;
}

}  // namespace Wickerlamp
