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

}
