#pragma once

#include "Lv2Uris.h"
#include "TimePositionReader.h"

#include <lv2/atom/atom.h>

/// Render thread. The keys of a time:Position object as the host sent them; each number may be
/// an atom:Int, Long, Float or Double (hosts differ), anything else counts as missing.
/// No allocation, lock or wait.
Corvel::TimePositionKeys readPositionKeys(const LV2_Atom_Object& object, const Lv2Uris& uris) noexcept;
