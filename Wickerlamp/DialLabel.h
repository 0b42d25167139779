#pragma once

#include "AudioParameter.h"
#include "ObservationScope.h"

#include <functional>
#include <locale>
#include <memory>
#include <optional>
#include <string_view>

namespace Wickerlamp {

/// A parameter's value as text that can be edited in place.
///
/// Showing: the name (upper-cased, when `showName`) over the displayable value, formatted in the
/// user's locale with exactly `decimalPlaces` fraction digits, and the unit suffix (when
/// `showSuffix`). A click opens an edit field holding the value as C-style text (a point, no
/// grouping; hundredths of the value for absolute cents), rebuilt whenever the value changes,
/// even while the user types. Return writes the typed number (scaled back, clamped to the
/// range) when the whole text is one, then closes; Escape closes without writing. Both call
/// `onEditingEnded`; losing the focus closes the field silently. Message thread.
class DialLabel final : public ObservingComponent {
public:
    struct Look {
        juce::Colour labelColor = juce::Colours::white;
        juce::Colour valueColor = juce::Colours::white;
        float labelFontSize = 11.0f;
        float valueFontSize = 20.0f;
        float editingFontSize = 16.0f;
        int width = 60;  ///< of the edit field
        bool showSuffix = true;
        bool showName = true;
        int decimalPlaces = 0;
    };

    static constexpr int rowHeight = 40;
    static constexpr int lineOverlap = 10;
    static constexpr int suffixSpacing = 4;

    DialLabel(std::shared_ptr<AudioParameter> param, Look look, std::function<void()> onEditingEnded = {});
    ~DialLabel() override;

    /// Opens the edit field and gives it the focus (what a click does). Nothing when open.
    void beginEditing();
    bool isEditing() const noexcept { return editing; }

    juce::String nameText() const { return name.getText(); }
    juce::String valueText() const { return value.getText(); }
    juce::String suffixText() const { return suffix.isVisible() ? suffix.getText() : juce::String(); }
    juce::TextEditor& editor() noexcept { return field; }

    void mouseUp(const juce::MouseEvent& e) override;
    void resized() override;

    /// `v` with exactly `places` fraction digits in `locale` (its decimal point and grouping).
    static juce::String formatForDisplay(double v, int places, const std::locale& locale);
    /// `v` printed like "%.0f" or "%0.<places>lf" in the C locale.
    static juce::String formatForEditing(double v, int places);
    /// The whole text as a C-locale number (an optional "+", no white space, nothing after it);
    /// nothing for anything else, NaN and numbers beyond a double included.
    static std::optional<double> parseStrictly(std::string_view text);

private:
    void build() override;
    void refreshEditText();
    void commit();
    void cancel();
    void close();

    const std::shared_ptr<AudioParameter> param;
    const Look look;
    const std::function<void()> onEditingEnded;

    juce::Label name;
    juce::Label value;
    juce::Label suffix;
    juce::TextEditor field;
    bool editing = false;
    std::size_t valueObserver = 0;
};

}  // namespace Wickerlamp
