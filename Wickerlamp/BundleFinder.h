#pragma once

#include <juce_core/juce_core.h>

namespace Wickerlamp {

/// The library's resources (artwork), compiled into the binary.
class ResourceBundle {
public:
    /// The bytes of a named resource ("corvel-logo.svg"), or an empty block when there is none.
    juce::MemoryBlock named(const juce::String& fileName) const;
};

/// Finds the library's resource bundle once per process. A build without its resources is
/// broken beyond repair: the lookup then stops the process with
/// "unable to find bundle named Wickerlamp_Wickerlamp".
class BundleFinder {
public:
    static const ResourceBundle& resourceBundle();
};

}  // namespace Wickerlamp
