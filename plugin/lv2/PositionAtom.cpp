#include "PositionAtom.h"

#include <lv2/atom/util.h>

#include <cmath>
#include <optional>

namespace {

// Render thread.
std::optional<double> numberOf(const LV2_Atom& atom, const Lv2Uris& uris) noexcept
{
    const void* body = LV2_ATOM_BODY_CONST(&atom);
    double value;
    if (atom.type == uris.atomInt && atom.size >= sizeof(std::int32_t))
        value = *static_cast<const std::int32_t*>(body);
    else if (atom.type == uris.atomLong && atom.size >= sizeof(std::int64_t))
        value = static_cast<double>(*static_cast<const std::int64_t*>(body));
    else if (atom.type == uris.atomFloat && atom.size >= sizeof(float))
        value = *static_cast<const float*>(body);
    else if (atom.type == uris.atomDouble && atom.size >= sizeof(double))
        value = *static_cast<const double*>(body);
    else
        return std::nullopt;
    return std::isfinite(value) ? std::optional(value) : std::nullopt;
}

// Render thread. A whole number (a frame, a bar), exact for an atom:Long of any size.
std::optional<std::int64_t> wholeNumberOf(const LV2_Atom& atom, const Lv2Uris& uris) noexcept
{
    if (atom.type == uris.atomLong && atom.size >= sizeof(std::int64_t))
        return *static_cast<const std::int64_t*>(LV2_ATOM_BODY_CONST(&atom));
    const auto v = numberOf(atom, uris);
    if (!v || std::fabs(*v) > 9.0e18)
        return std::nullopt;
    return std::llround(*v);
}

}  // namespace

// Render thread.
Corvel::TimePositionKeys readPositionKeys(const LV2_Atom_Object& object, const Lv2Uris& uris) noexcept
{
    Corvel::TimePositionKeys keys;
    LV2_ATOM_OBJECT_FOREACH(&object, property)
    {
        const LV2_Atom& value = property->value;
        const LV2_URID key = property->key;
        if (key == uris.timeFrame)
            keys.frame = wholeNumberOf(value, uris);
        else if (key == uris.timeBar)
            keys.bar = wholeNumberOf(value, uris);
        else if (key == uris.timeSpeed)
            keys.speed = numberOf(value, uris);
        else if (key == uris.timeBarBeat)
            keys.barBeat = numberOf(value, uris);
        else if (key == uris.timeBeat)
            keys.beat = numberOf(value, uris);
        else if (key == uris.timeBeatUnit)
            keys.beatUnit = numberOf(value, uris);
        else if (key == uris.timeBeatsPerBar)
            keys.beatsPerBar = numberOf(value, uris);
        else if (key == uris.timeBeatsPerMinute)
            keys.beatsPerMinute = numberOf(value, uris);
    }
    return keys;
}
