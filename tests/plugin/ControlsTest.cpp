// The library's controls bound to parameters: the value label edited in place, the toggle, mode
// and hold buttons.

#include "ControlTestSupport.h"
#include "PluginTestSupport.h"

#include "AssetCatalogue.h"
#include "DialLabel.h"
#include "ModeToggleButton.h"
#include "ParameterHoldButton.h"
#include "ToggleButton.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

using namespace SondrelTest;
using Wickerlamp::AudioParameter;
using Wickerlamp::DialLabel;
using Wickerlamp::ParameterEditor;
using Wickerlamp::ParameterEditorState;
namespace ParameterUnit = Wickerlamp::ParameterUnit;

namespace {

/// A value label over a parameter, counting its onEditingEnded calls.
struct Dial {
    std::shared_ptr<AudioParameter> param;
    int ended = 0;
    DialLabel label;

    Dial(std::shared_ptr<AudioParameter> p, DialLabel::Look look) : param(std::move(p)), label(param, look, [this] { ++ended; }) {}

    /// Opens the field, types `text` over what it holds and presses Return.
    void enter(const juce::String& text)
    {
        label.beginEditing();
        label.editor().setText(text, juce::sendNotification);
        label.editor().keyPressed(juce::KeyPress(juce::KeyPress::returnKey));
        pumpMessages();
    }
};

DialLabel::Look places(int decimalPlaces, bool showSuffix = true)
{
    DialLabel::Look look;
    look.decimalPlaces = decimalPlaces;
    look.showSuffix = showSuffix;
    return look;
}

void setFromHost(AudioParameter& p, float v)
{
    p.setValue(v, ParameterEditor::parameterObserver, ParameterEditorState::change);
    pumpMessages();
}

} // namespace

TEST(Controls, DialLabelShowsValueAndSuffixAndOpensWithThePlainNumber)
{
    Dial percent(makeParameter(ParameterUnit::percent, 0.0f, 100.0f, 50.0f), places(0));
    EXPECT_EQ(percent.label.valueText(), "50");
    EXPECT_EQ(percent.label.suffixText(), "%");
    EXPECT_EQ(percent.label.nameText(), "MIX");
    EXPECT_FALSE(percent.label.isEditing());

    // A click opens the field with the number alone; the value line gives way to it.
    percent.label.mouseUp(mouseEventOn(percent.label));
    ASSERT_TRUE(percent.label.isEditing());
    EXPECT_EQ(percent.label.editor().getText(), "50");
    EXPECT_TRUE(percent.label.editor().isVisible());
    EXPECT_EQ(percent.label.suffixText(), "");

    // A press that ends a drag is no click.
    Dial dragged(makeParameter(ParameterUnit::percent, 0.0f, 100.0f, 50.0f), places(0));
    dragged.label.mouseUp(mouseEventOn(dragged.label, {2.0f, 2.0f}, true));
    EXPECT_FALSE(dragged.label.isEditing());

    Dial milliseconds(makeParameter(ParameterUnit::milliseconds, 0.0f, 500.0f, 12.5f), places(1));
    EXPECT_EQ(milliseconds.label.valueText(), "12.5");
    EXPECT_EQ(milliseconds.label.suffixText(), "MS");

    Dial withoutSuffix(makeParameter(ParameterUnit::percent, 0.0f, 100.0f, 50.0f), places(0, false));
    EXPECT_EQ(withoutSuffix.label.suffixText(), "");
    Dial generic(makeParameter(ParameterUnit::generic, 0.0f, 10.0f, 3.0f), places(0));
    EXPECT_EQ(generic.label.suffixText(), "");
}

TEST(Controls, DialLabelInCentsShowsHundredthsAndScalesTypedNumbersBack)
{
    Dial cents(makeParameter(ParameterUnit::absoluteCents, -2400.0f, 2400.0f, 1200.0f), places(2));
    SentToHost sent(*cents.param);
    EXPECT_EQ(cents.label.valueText(), "12.00");
    cents.label.beginEditing();
    EXPECT_EQ(cents.label.editor().getText(), "12.00");

    cents.enter("7");
    EXPECT_EQ(cents.param->value.peek(), 700.0f);
    EXPECT_EQ(cents.label.valueText(), "7.00");
    EXPECT_EQ(cents.ended, 1);
    EXPECT_FALSE(cents.label.isEditing());
    EXPECT_EQ(cents.label.editor().getText(), "7.00");

    // Above the range: the upper bound, never a refusal. Below it: the lower bound.
    cents.enter("99");
    EXPECT_EQ(cents.param->value.peek(), 2400.0f);
    cents.enter("-1e30");
    EXPECT_EQ(cents.param->value.peek(), -2400.0f);
    cents.enter("+3.5");
    EXPECT_EQ(cents.param->value.peek(), 350.0f);
    EXPECT_EQ(sent.values, (std::vector<float>{700.0f, 2400.0f, -2400.0f, 350.0f}));
    EXPECT_EQ(cents.ended, 4);
}

TEST(Controls, DialLabelRejectsTextThatIsNotWhollyANumber)
{
    Dial dial(makeParameter(ParameterUnit::generic, 0.0f, 100.0f, 40.0f), places(0));
    SentToHost sent(*dial.param);
    int expectedEnds = 0;
    for (const char* text : {" 5", "5a", "", "5 ", "7,5", "nan", "0x10", "+", "five"}) {
        SCOPED_TRACE(text);
        dial.enter(text);
        ++expectedEnds;
        EXPECT_EQ(dial.ended, expectedEnds);
        EXPECT_FALSE(dial.label.isEditing());
        EXPECT_EQ(dial.label.editor().getText(), "40");  // the current value again
    }
    EXPECT_TRUE(sent.values.empty());
    EXPECT_EQ(dial.param->value.peek(), 40.0f);
}

TEST(Controls, DialLabelEscapeClosesWithoutWritingAndFocusLossClosesSilently)
{
    Dial dial(makeParameter(ParameterUnit::generic, 0.0f, 100.0f, 40.0f), places(0));
    SentToHost sent(*dial.param);

    dial.label.beginEditing();
    dial.label.editor().setText("9", juce::sendNotification);
    dial.label.editor().keyPressed(juce::KeyPress(juce::KeyPress::escapeKey));
    pumpMessages();
    EXPECT_FALSE(dial.label.isEditing());
    EXPECT_EQ(dial.ended, 1);
    EXPECT_EQ(dial.label.editor().getText(), "40");

    dial.label.beginEditing();
    dial.label.editor().setText("9", juce::sendNotification);
    dial.label.editor().focusLost(juce::Component::focusChangedByMouseClick);
    pumpMessages();
    EXPECT_FALSE(dial.label.isEditing());
    EXPECT_EQ(dial.ended, 1);  // only Return and Escape count as finishing

    EXPECT_TRUE(sent.values.empty());
    EXPECT_EQ(dial.param->value.peek(), 40.0f);
}

TEST(Controls, DialLabelTextFollowsAutomationEvenWhileTyping)
{
    Dial dial(makeParameter(ParameterUnit::absoluteCents, -2400.0f, 2400.0f, 0.0f), places(1));
    dial.label.beginEditing();
    dial.label.editor().setText("33", juce::sendNotification);
    setFromHost(*dial.param, -250.0f);
    EXPECT_TRUE(dial.label.isEditing());
    EXPECT_EQ(dial.label.editor().getText(), "-2.5");
    EXPECT_EQ(dial.label.valueText(), "-2.5");
}

TEST(Controls, DialLabelFormatsLikeCPrintfAndParsesStrictly)
{
    // The edit text is what "%.0f" / "%0.<n>lf" print in the C locale (this process's).
    for (const double v : {0.0, 0.5, 1.5, 2.5, -0.4, 12.345, 1234567.0, 1e-7, -1e20}) {
        for (const int n : {0, 1, 2, 6}) {
            char expected[128];
            if (n == 0)
                std::snprintf(expected, sizeof expected, "%.0f", v);
            else
                std::snprintf(expected, sizeof expected, "%0.*lf", n, v);
            EXPECT_EQ(DialLabel::formatForEditing(v, n), juce::String(expected)) << v << " with " << n;
        }
    }
    // Shown in the given locale with exactly that many digits.
    EXPECT_EQ(DialLabel::formatForDisplay(1234.5, 2, std::locale::classic()), "1234.50");
    EXPECT_EQ(DialLabel::formatForDisplay(0.125, 0, std::locale::classic()), "0");
    EXPECT_EQ(DialLabel::formatForDisplay(7.0, -1, std::locale::classic()), "7");

    EXPECT_EQ(DialLabel::parseStrictly("1e3"), 1000.0);
    EXPECT_EQ(DialLabel::parseStrictly("-.5"), -0.5);
    EXPECT_EQ(DialLabel::parseStrictly("inf"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(DialLabel::parseStrictly("1e999"), std::nullopt);
    EXPECT_EQ(DialLabel::parseStrictly("+-1"), std::nullopt);
}

TEST(Controls, ToggleButtonIsOnOnlyAtExactlyOne)
{
    const auto on = juce::Colours::orange;
    auto param = makeParameter(ParameterUnit::generic, 0.0f, 1.0f, 0.5f, std::nullopt, "Bypass");
    Wickerlamp::ToggleButton toggle(param, on);
    EXPECT_EQ(toggle.button().getButtonText(), "BYPASS");
    EXPECT_FALSE(toggle.isOn());
    EXPECT_EQ(toggle.button().style().labelColour(), libraryColour("buttonText"));
    EXPECT_EQ(toggle.button().style().backgroundName(false), "modern-button");
    EXPECT_EQ(toggle.button().style().backgroundName(true), "modern-button-down");

    // Anything but exactly 0 turns it off.
    toggle.button().triggerClick();
    pumpMessages();
    EXPECT_EQ(param->value.peek(), 0.0f);
    EXPECT_FALSE(toggle.isOn());

    toggle.button().triggerClick();
    pumpMessages();
    EXPECT_EQ(param->value.peek(), 1.0f);
    EXPECT_TRUE(toggle.isOn());
    EXPECT_EQ(toggle.button().style().labelColour(), on);
    EXPECT_EQ(toggle.button().style().backgroundName(false), "modern-button-on");
    EXPECT_EQ(toggle.button().style().backgroundName(true), "modern-button-on-down");

    // Automation moves it too.
    setFromHost(*param, 0.0f);
    EXPECT_FALSE(toggle.isOn());

    Wickerlamp::ToggleButton named(param, on, juce::String("Keep it"));
    EXPECT_EQ(named.button().getButtonText(), "Keep it");
}

TEST(Controls, ModeToggleButtonFollowsTheTruncatedValue)
{
    auto param = makeParameter(ParameterUnit::indexed, -1.0f, 3.0f, 1.9f, juce::StringArray{"Off", "Slow", "Fast"});
    Wickerlamp::ModeToggleButton off(param, 0, juce::Colours::orange);
    Wickerlamp::ModeToggleButton slow(param, 1, juce::Colours::orange);
    Wickerlamp::ModeToggleButton fast(param, 2, juce::Colours::orange);
    EXPECT_EQ(slow.button().getButtonText(), "SLOW");
    EXPECT_TRUE(slow.isOn());
    EXPECT_FALSE(fast.isOn());
    EXPECT_EQ(slow.button().style().labelColour(), juce::Colours::orange);

    fast.button().triggerClick();
    pumpMessages();
    EXPECT_EQ(param->value.peek(), 2.0f);
    EXPECT_TRUE(fast.isOn());
    EXPECT_FALSE(slow.isOn());

    setFromHost(*param, -0.5f);  // truncated toward zero: index 0
    EXPECT_TRUE(off.isOn());

    // An index without a value string, or a parameter without any, has an empty label.
    Wickerlamp::ModeToggleButton beyond(param, 5, juce::Colours::orange);
    EXPECT_EQ(beyond.button().getButtonText(), "");
    Wickerlamp::ModeToggleButton unnamed(makeParameter(ParameterUnit::indexed, 0.0f, 3.0f, 1.0f), 1, juce::Colours::orange);
    EXPECT_EQ(unnamed.button().getButtonText(), "");
    EXPECT_TRUE(unnamed.isOn());
}

TEST(Controls, HoldButtonWritesOneWhileHeldAndZeroOnceOnRelease)
{
    const auto& assets = Wickerlamp::AssetCatalogue::library();
    auto param = makeParameter(ParameterUnit::generic, 0.0f, 1.0f, 0.0f);
    SentToHost sent(*param);
    Wickerlamp::ParameterHoldButton hold(param, assets.image("modern-button"), assets.image("modern-button-down"));
    EXPECT_FALSE(hold.isPressed());
    EXPECT_GT(hold.getWidth(), 0);

    hold.mouseDown(mouseEventOn(hold));
    EXPECT_TRUE(hold.isPressed());
    pumpMessages();
    EXPECT_EQ(param->value.peek(), 1.0f);

    // Automation drops the value mid-hold: the image follows, and the next move writes 1 again.
    setFromHost(*param, 0.0f);
    EXPECT_FALSE(hold.isPressed());
    hold.mouseDrag(mouseEventOn(hold, {3.0f, 2.0f}));
    EXPECT_TRUE(hold.isPressed());
    pumpMessages();
    hold.mouseDrag(mouseEventOn(hold, {4.0f, 2.0f}));
    pumpMessages();
    EXPECT_EQ(param->value.peek(), 1.0f);

    hold.mouseUp(mouseEventOn(hold, {4.0f, 2.0f}));
    EXPECT_FALSE(hold.isPressed());
    pumpMessages();
    EXPECT_EQ(param->value.peek(), 0.0f);
    // 1 on the press, 1 again after the automation, 0 once on release; unchanged writes send nothing.
    EXPECT_EQ(sent.values, (std::vector<float>{1.0f, 1.0f, 0.0f}));

    setFromHost(*param, 1.0f);
    EXPECT_TRUE(hold.isPressed());
}
