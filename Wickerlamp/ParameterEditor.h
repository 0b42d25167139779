#pragma once

#include <cstdint>

namespace Wickerlamp {

/// Who asks for a parameter change.
enum class ParameterEditor : std::uint8_t {
    parameterObserver = 0,  ///< the host, through the parameter tree
    ui = 1,                 ///< a control of the plug-in's own window
};

/// The gesture phase of a change; its raw value is the host's automation event type.
enum class ParameterEditorState : std::uint8_t {
    change = 0,            ///< value
    beginInteractive = 1,  ///< touch
    endInteractive = 2,    ///< release
};

}  // namespace Wickerlamp
