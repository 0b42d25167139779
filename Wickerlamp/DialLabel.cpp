#include "DialLabel.h"

#include "Extensions.h"
#include "RocketFont.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <string>

namespace Wickerlamp {

namespace {

/// The locale the user's environment names, read once; the C locale when it names none we have.
const std::locale& userLocale()
{
    static const std::locale locale = [] {
        try {
            return std::locale("");
        } catch (const std::runtime_error&) {
            return std::locale::classic();
        }
    }();
    return locale;
}

int textWidth(const juce::Font& font, const juce::String& text)
{
    return static_cast<int>(std::ceil(font.getStringWidthFloat(text)));
}

void plainLabel(juce::Label& label, const juce::Font& font, juce::Colour colour)
{
    label.setFont(font);
    label.setColour(juce::Label::textColourId, colour);
    label.setJustificationType(juce::Justification::centred);
    label.setBorderSize({});
    label.setInterceptsMouseClicks(false, false);  // a click anywhere opens the field
}

}  // namespace

DialLabel::DialLabel(std::shared_ptr<AudioParameter> parameter, Look labelLook, std::function<void()> ended)
    : param(std::move(parameter)), look(labelLook), onEditingEnded(std::move(ended))
{
    plainLabel(name, rocketFont(look.labelFontSize), look.labelColor);
    plainLabel(value, rocketFont(look.valueFontSize), look.valueColor);
    plainLabel(suffix, rocketFont(look.valueFontSize), look.valueColor);
    name.setText(param->name.toUpperCase(), juce::dontSendNotification);
    suffix.setText(param->displayableSuffix(), juce::dontSendNotification);

    field.setComponentID("edit");
    field.setMultiLine(false);
    field.setReturnKeyStartsNewLine(false);
    field.setFont(rocketFont(look.editingFontSize));
    field.setJustification(juce::Justification::centred);
    field.setColour(juce::TextEditor::textColourId, look.valueColor);
    field.setTextToShowWhenEmpty({}, look.valueColor);
    field.setSelectAllWhenFocused(true);
    field.onReturnKey = [this] { commit(); };
    field.onEscapeKey = [this] { cancel(); };
    field.onFocusLost = [this] {
        // Closing by Return or Escape also takes the focus away; that finds the field closed.
        if (editing && !field.hasKeyboardFocus(true)) {
            editing = false;
            rebuild();
        }
    };

    addChildComponent(name);
    addChildComponent(value);
    addChildComponent(suffix);
    addChildComponent(field);

    refreshEditText();
    valueObserver = param->value.addObserver([this](const float&) { refreshEditText(); });

    const int nameHeight = look.showName ? static_cast<int>(std::ceil(name.getFont().getHeight())) - lineOverlap : 0;
    setSize(std::max(look.width, textWidth(name.getFont(), name.getText())), nameHeight + rowHeight);
    rebuild();
}

DialLabel::~DialLabel() { param->value.removeObserver(valueObserver); }

void DialLabel::build()
{
    value.setText(formatForDisplay(param->displayableValue(), look.decimalPlaces, userLocale()),
                  juce::dontSendNotification);
    name.setVisible(look.showName);
    value.setVisible(!editing);
    suffix.setVisible(!editing && look.showSuffix && suffix.getText().isNotEmpty());
    field.setVisible(editing);
    resized();
}

void DialLabel::resized()
{
    const int nameHeight = look.showName ? static_cast<int>(std::ceil(name.getFont().getHeight())) : 0;
    const int overlap = look.showName ? lineOverlap : 0;
    const int contentHeight = nameHeight - overlap + rowHeight;
    const int top = (getHeight() - contentHeight) / 2;
    name.setBounds(0, top, getWidth(), nameHeight);

    const int rowTop = top + nameHeight - overlap;
    const int valueWidth = textWidth(value.getFont(), value.getText());
    const int suffixWidth = suffix.isVisible() ? textWidth(suffix.getFont(), suffix.getText()) : 0;
    const int rowWidth = valueWidth + (suffix.isVisible() ? suffixSpacing + suffixWidth : 0);
    const int left = (getWidth() - rowWidth) / 2;
    value.setBounds(left, rowTop, valueWidth, rowHeight);
    suffix.setBounds(left + valueWidth + suffixSpacing, rowTop, suffixWidth, rowHeight);
    field.setBounds((getWidth() - look.width) / 2, rowTop, look.width, rowHeight);
}

void DialLabel::mouseUp(const juce::MouseEvent& e)
{
    if (e.mouseWasClicked())
        beginEditing();
}

void DialLabel::beginEditing()
{
    if (editing)
        return;
    editing = true;
    rebuild();
    if (field.isShowing())
        field.grabKeyboardFocus();
}

void DialLabel::refreshEditText()
{
    const float shown = param->value.peek() * param->saveScaleFactor();
    field.setText(formatForEditing(static_cast<double>(shown), look.decimalPlaces), juce::dontSendNotification);
}

void DialLabel::commit()
{
    if (!editing)
        return;
    if (const auto typed = parseStrictly(field.getText().toStdString())) {
        const double scaled = *typed * static_cast<double>(param->displayScaleFactor());
        const double inRange = clamped(scaled, ClosedRange<double>{param->minimum, param->maximum});
        param->setValue(static_cast<float>(inRange), ParameterEditor::ui, ParameterEditorState::change);
    }
    close();
}

void DialLabel::cancel()
{
    if (editing)
        close();
}

void DialLabel::close()
{
    refreshEditText();
    editing = false;
    rebuild();
    // Last: the owner may rebuild itself, and this label with it.
    if (const auto ended = onEditingEnded)
        ended();
}

juce::String DialLabel::formatForDisplay(double v, int places, const std::locale& locale)
{
    std::ostringstream text;
    text.imbue(locale);
    text << std::fixed << std::setprecision(std::max(places, 0)) << v;
    return juce::String::fromUTF8(text.str().c_str());
}

juce::String DialLabel::formatForEditing(double v, int places)
{
    const int precision = std::max(places, 0);
    std::string text(static_cast<std::size_t>(330 + precision), '\0');  // room for any finite double
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed,
                                            precision);
    if (error != std::errc())
        return {};
    text.resize(static_cast<std::size_t>(end - text.data()));
    return juce::String(text);
}

std::optional<double> DialLabel::parseStrictly(std::string_view text) { return parseCNumber(text); }

}  // namespace Wickerlamp
