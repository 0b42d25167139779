#include "InterFont.h"

#include "EmbeddedFont.h"
#include "SondrelFonts.h"

#include <array>

juce::Font interFont(float size, FontWeight weight)
{
    using namespace SondrelFonts;
    using Wickerlamp::EmbeddedFont;
    static const std::array<EmbeddedFont, 5> inter{
        EmbeddedFont(InterLight_otf, static_cast<std::size_t>(InterLight_otfSize)),
        EmbeddedFont(InterRegular_otf, static_cast<std::size_t>(InterRegular_otfSize)),
        EmbeddedFont(InterMedium_otf, static_cast<std::size_t>(InterMedium_otfSize)),
        EmbeddedFont(InterSemiBold_otf, static_cast<std::size_t>(InterSemiBold_otfSize)),
        EmbeddedFont(InterBold_otf, static_cast<std::size_t>(InterBold_otfSize)),
    };
    const auto index = static_cast<std::size_t>(weight);
    return inter[index < inter.size() ? index : 1].atSize(size);
}
