#pragma once

#include "AssetCatalogue.h"

/// The plug-in's own named colours and images (the library's are AssetCatalogue::library()).
/// Built on first use, read-only afterwards.
///
/// Images are drawn at their natural size, in points:
/// - "keyboard-allkeys", 640 x 72: notes 24..88, white keys 17 wide (the last one cut to 11 by
///   the edge), black keys 12 x 44 starting 11, 28, 62, 79 and 96 into each 119-wide octave.
/// - "keyboard-octave", 127 x 76: one octave, the same keys behind a 4-point frame (its C at x 4).
/// - "keyboard-<colour>-cf", "-dga", "-eb", 17 x 72: a lit white key, cut away at the top where
///   its black neighbours lie (right; both sides; left), placed at the key's left edge, so that
///   the black keys of the picture underneath stay visible. Colours yellow, blue, green, red.
/// - "keyboard-<colour>-blackkeys", 12 x 44: a lit black key, drawn above the white keys.
/// - "midi-icon-blue", "midi-icon-grey", 30 x 38: the drag source, selected and not.
const Wickerlamp::AssetCatalogue& pluginAssets();
