#pragma once

#include <juce_graphics/juce_graphics.h>

namespace Wickerlamp {

/// The library's display font "Rocket" (League Spartan Bold, compiled in) with an em `size`
/// points high. The typeface is made once, on first use.
juce::Font rocketFont(float size);

}  // namespace Wickerlamp
