#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <vector>

/// One lit key of a keyboard picture: which image, where, and above what.
struct LitKey {
    juce::String image;  ///< asset name of the lit key shape
    int x = 0;           ///< points from the picture's left edge
    int depth = 0;       ///< 1 for black keys, drawn above the white keys (0)

    friend bool operator==(const LitKey&, const LitKey&) = default;
};

/// Draws the picture `base` at the origin with `keys` over it at their natural size, white keys
/// first. Message thread.
void drawKeyboard(juce::Graphics& g, const juce::String& base, const std::vector<LitKey>& keys);
