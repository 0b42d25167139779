#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <iterator>
#include <optional>
#include <ranges>
#include <string_view>
#include <utility>

namespace Wickerlamp {

/// The element at `index`, or nothing when the index is not one of the container's.
template <std::ranges::random_access_range Container, std::integral Index>
std::optional<std::ranges::range_value_t<Container>> safeAt(const Container& container, Index index)
{
    if (index < 0 || std::cmp_greater_equal(index, std::ranges::size(container)))
        return std::nullopt;
    return *(std::ranges::begin(container) + static_cast<std::ptrdiff_t>(index));
}

/// Bounds for clamped(): both, the lower only, or the upper only.
template <typename T>
struct ClosedRange {
    T lower;
    T upper;
};
template <typename T>
struct AtLeast {
    T lower;
};
template <typename T>
struct AtMost {
    T upper;
};

/// `value` moved into the range: max(value, lower), then min(…, upper). The bounds need not be
/// checked against each other; a range whose upper bound is below its lower gives the upper bound.
template <std::totally_ordered T>
T clamped(const T& value, const ClosedRange<T>& range)
{
    return std::min(std::max(value, range.lower), range.upper);
}
template <std::totally_ordered T>
T clamped(const T& value, const AtLeast<T>& range)
{
    return std::max(value, range.lower);
}
template <std::totally_ordered T>
T clamped(const T& value, const AtMost<T>& range)
{
    return std::min(value, range.upper);
}

/// The number in decimal with a "0" in front when it is 9 or less: 07, 10, 123, and 0-1 for −1.
juce::String paddedIndexString(int number);

/// A number typed in the C locale: the whole text must be the number (an optional "+", no white
/// space, nothing after it; a point is the only decimal separator). Nothing for anything else,
/// NaN included, or for a value beyond what a double holds.
std::optional<double> parseCNumber(std::string_view text);

/// Keeps `child` filling `view`'s area less `insets` (top, left, bottom, right), now and whenever
/// `view` moves or is resized. `child` is normally a child or a sibling of `view`; one without a
/// parent becomes a child of `view`. Nothing happens when `view` is null. The tracking belongs to
/// `child` (its positioner) and ends with either component. Message thread.
void anchorToAllSidesOf(juce::Component& child, juce::Component* view, juce::BorderSize<int> insets);

}  // namespace Wickerlamp
