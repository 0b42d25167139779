#pragma once

#include <juce_graphics/juce_graphics.h>

enum class FontWeight { light, regular, medium, semibold, bold };

/// The window's text font "Inter" (compiled in) in one of five weights, with an em `size`
/// points high. The typefaces are made once, on first use.
juce::Font interFont(float size, FontWeight weight);
