#include "RocketFont.h"

#include "EmbeddedFont.h"
#include "WickerlampFonts.h"

namespace Wickerlamp {

juce::Font rocketFont(float size)
{
    static const EmbeddedFont rocket(WickerlampFonts::LeagueSpartanBold_otf,
                                     static_cast<std::size_t>(WickerlampFonts::LeagueSpartanBold_otfSize));
    return rocket.atSize(size);
}

}  // namespace Wickerlamp
