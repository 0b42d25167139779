// The parameter library: host texts, clamping, the echo rules between the window's controls
// and the host's parameter tree, dependent parameters, units.

#include "PluginTestSupport.h"

#include "AudioParameter.h"
#include "ParameterSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace SondrelTest;
using Wickerlamp::AudioParameter;
using Wickerlamp::ParameterEditor;
using Wickerlamp::ParameterEditorState;
namespace ParameterUnit = Wickerlamp::ParameterUnit;

namespace {

/// A processor that only remembers what its parameter hook received.
struct HookUnit final : Wickerlamp::WickerAudioUnit {
    std::vector<std::pair<std::uint64_t, float>> received;

    using Wickerlamp::WickerAudioUnit::setParameter;
    using Wickerlamp::WickerAudioUnit::processBlock;
    void setParameter(std::uint64_t address, float value) override { received.emplace_back(address, value); }

    const juce::String getName() const override { return "hook"; }
    void prepareToPlay(double, int) override {}
    void releaseResources() override {}
    void processBlock(juce::AudioBuffer<float>&, juce::MidiBuffer&) override {}
    double getTailLengthSeconds() const override { return 0; }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    juce::AudioProcessorEditor* createEditor() override { return nullptr; }
    bool hasEditor() const override { return false; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram(int) override {}
    const juce::String getProgramName(int) override { return {}; }
    void changeProgramName(int, const juce::String&) override {}
    void getStateInformation(juce::MemoryBlock&) override {}
    void setStateInformation(const void*, int) override {}
};

struct TwoParameters final : Wickerlamp::ParameterSettings {
    // A gain in dB whose changes move the cents parameter, and the cents parameter.
    std::shared_ptr<AudioParameter> gain = std::make_shared<AudioParameter>(
        7, "gain", "Gain", ParameterUnit::decibels, -60.0f, 12.0f, 0.0f, std::nullopt, std::vector<std::uint64_t>{8});
    std::shared_ptr<AudioParameter> tune = std::make_shared<AudioParameter>(8, "tune", "Tune", ParameterUnit::absoluteCents,
                                                                            -1200.0f, 1200.0f, 0.0f);
    std::vector<std::pair<std::uint64_t, float>> dependentCalls;
    std::vector<float> gainValueAtDependentCall;

    TwoParameters() { setupParameters({gain, tune}); }
    void updateDependentValues(std::uint64_t address, float v) override
    {
        dependentCalls.emplace_back(address, v);
        gainValueAtDependentCall.push_back(gain->value.get());
    }
};

struct Installed {
    HookUnit unit;
    TwoParameters settings;
    Installed()
    {
        settings.configureAudioUnit(unit);
        settings.setupParameterTreeListeners();
    }
};

/// Records what the host hears from a node.
struct HostEar final : juce::AudioProcessorParameter::Listener {
    std::vector<float> values;
    std::vector<bool> gestures;
    void parameterValueChanged(int, float v) override { values.push_back(v); }
    void parameterGestureChanged(int, bool starting) override { gestures.push_back(starting); }
};

Wickerlamp::ParameterNode nodeWithStrings(juce::StringArray strings)
{
    Wickerlamp::ParameterNode::Description d;
    d.identifier = "p";
    d.name = "P";
    d.maximum = 10.0f;
    d.valueStrings = strings;
    return Wickerlamp::ParameterNode(d);
}

} // namespace

TEST(ParameterLibrary, HostTextsFromValues)
{
    const auto node = nodeWithStrings({"A", "B"});
    const float zero = 0.0f, almostTwo = 1.9f, two = 2.0f, nan = NAN, inf = INFINITY, minusHalf = -0.5f;
    EXPECT_EQ(Wickerlamp::ParameterSettings::stringFromValue(node, &zero), "A");
    EXPECT_EQ(Wickerlamp::ParameterSettings::stringFromValue(node, &almostTwo), "B");  // truncated
    EXPECT_EQ(Wickerlamp::ParameterSettings::stringFromValue(node, &two), "2");        // no such index
    EXPECT_EQ(Wickerlamp::ParameterSettings::stringFromValue(node, &nan), "-");
    EXPECT_EQ(Wickerlamp::ParameterSettings::stringFromValue(node, nullptr), "-");
    EXPECT_EQ(Wickerlamp::ParameterSettings::stringFromValue(node, &minusHalf), "A");  // truncates to 0
    EXPECT_EQ(Wickerlamp::ParameterSettings::stringFromValue(node, &inf), "inf");
    const auto plain = nodeWithStrings({});
    const float twelvePointSix = 12.6f;
    EXPECT_EQ(Wickerlamp::ParameterSettings::stringFromValue(plain, &twelvePointSix), "13");
}

TEST(ParameterLibrary, ValuesFromTypedText)
{
    using S = Wickerlamp::ParameterSettings;
    EXPECT_EQ(S::valueFromString("12.5"), 12.5f);
    EXPECT_EQ(S::valueFromString("-3"), -3.0f);
    EXPECT_EQ(S::valueFromString("+4"), 4.0f);
    EXPECT_EQ(S::valueFromString("1e2"), 100.0f);
    for (const char* bad : {" 12", "12a", "", "Events", "nan", "+-1", "12 "})
        EXPECT_EQ(S::valueFromString(bad), 0.0f) << bad;
}

TEST(ParameterLibrary, FlagsUnitsAndDisplayFactors)
{
    Installed p;
    const auto& gainNode = p.settings.gain->auParameter();
    EXPECT_EQ(gainNode.description().flags, 0xD0100000u | Wickerlamp::ParameterFlags::canRamp);
    EXPECT_EQ(gainNode.getLabel(), "dB");
    EXPECT_EQ(p.settings.tune->auParameter().description().flags, 0xC0000000u | Wickerlamp::ParameterFlags::canRamp);

    Settings settings;
    EXPECT_EQ(settings.mainMode->auParameter().description().flags, 0xC0200000u);
    EXPECT_EQ(settings.mainMode->displayableSuffix(), "");

    EXPECT_EQ(Wickerlamp::displayableSuffix(ParameterUnit::percent), "%");
    EXPECT_EQ(Wickerlamp::displayableSuffix(ParameterUnit::hertz), "Hz");
    EXPECT_EQ(Wickerlamp::displayableSuffix(ParameterUnit::milliseconds), "MS");
    EXPECT_EQ(Wickerlamp::displayableSuffix(ParameterUnit::indexed), "");

    AudioParameter cents(1, "c", "C", ParameterUnit::absoluteCents, 0.0f, 1000.0f, 250.0f);
    EXPECT_FLOAT_EQ(cents.displayableValue(), 2.5f);
    EXPECT_EQ(cents.displayScaleFactor(), 100.0f);
    EXPECT_EQ(cents.saveScaleFactor(), 0.01f);
    EXPECT_FLOAT_EQ(cents.percent(), 0.25f);
    EXPECT_EQ(settings.mainMode->displayScaleFactor(), 1.0f);
    EXPECT_EQ(settings.mainMode->saveScaleFactor(), 1.0f);

    const auto dummy = AudioParameter::dummyParam();
    EXPECT_EQ(dummy->identifier, "");
    EXPECT_EQ(dummy->units, ParameterUnit::customUnit);
}

TEST(ParameterLibrary, ControlChangesReachTheHostAndTheValueOneTurnLater)
{
    Installed p;
    HostEar ear;
    p.settings.tune->auParameter().addListener(&ear);

    p.settings.tune->setValue(600.0f, ParameterEditor::ui, ParameterEditorState::change);
    EXPECT_EQ(p.settings.tune->value.get(), 0.0f);  // not yet: assigned on the next turn
    ASSERT_EQ(ear.values.size(), 1u);
    EXPECT_FLOAT_EQ(p.settings.tune->auParameter().value(), 600.0f);
    pumpMessages();
    EXPECT_EQ(p.settings.tune->value.get(), 600.0f);
    // The host's observer passed the value on to the audio unit as well.
    ASSERT_FALSE(p.unit.received.empty());
    EXPECT_EQ(p.unit.received.back(), (std::pair<std::uint64_t, float>{8, 600.0f}));

    // Out of range and NaN are clamped.
    p.settings.tune->setValue(5000.0f, ParameterEditor::ui, ParameterEditorState::change);
    pumpMessages();
    EXPECT_EQ(p.settings.tune->value.get(), 1200.0f);
    p.settings.tune->setValue(NAN, ParameterEditor::ui, ParameterEditorState::change);
    pumpMessages();
    EXPECT_EQ(p.settings.tune->value.get(), -1200.0f);

    // Two changes within one turn, back to where it was: the second is not taken for a repeat.
    p.settings.tune->setValue(300.0f, ParameterEditor::ui, ParameterEditorState::change);
    p.settings.tune->setValue(-1200.0f, ParameterEditor::ui, ParameterEditorState::change);
    pumpMessages();
    EXPECT_EQ(p.settings.tune->value.get(), -1200.0f);
    EXPECT_FLOAT_EQ(p.settings.tune->auParameter().value(), -1200.0f);

    p.settings.tune->auParameter().removeListener(&ear);
}

TEST(ParameterLibrary, GesturesAreSentEvenWithoutAChangeButPlainRepeatsAreNot)
{
    Installed p;
    HostEar ear;
    auto& node = p.settings.tune->auParameter();
    node.addListener(&ear);

    p.settings.tune->setValue(0.0f, ParameterEditor::ui, ParameterEditorState::change);  // the current value
    EXPECT_TRUE(ear.values.empty());
    EXPECT_TRUE(ear.gestures.empty());

    p.settings.tune->setValue(0.0f, ParameterEditor::ui, ParameterEditorState::beginInteractive);
    EXPECT_EQ(ear.gestures, std::vector<bool>{true});
    ASSERT_EQ(ear.values.size(), 1u);
    EXPECT_FLOAT_EQ(ear.values[0], node.normalise(0.0f));

    p.settings.tune->setValue(0.0f, ParameterEditor::ui, ParameterEditorState::endInteractive);
    EXPECT_EQ(ear.gestures, (std::vector<bool>{true, false}));
    node.removeListener(&ear);
}

TEST(ParameterLibrary, HostChangesDoNotEchoBackAndYieldToAnInteractiveEdit)
{
    Installed p;
    HostEar ear;
    auto& node = p.settings.tune->auParameter();
    node.addListener(&ear);

    // The host sets the value (automation): the window follows, nothing goes back to the host.
    node.setValue(node.normalise(300.0f));
    pumpMessages();
    EXPECT_FLOAT_EQ(p.settings.tune->value.get(), 300.0f);
    EXPECT_TRUE(ear.values.empty());

    // While the user drags, automation does not move the control; the user's values do.
    p.settings.tune->isBeingInteractivelyEdited.set(true);
    node.setValue(node.normalise(-300.0f));
    pumpMessages();
    EXPECT_FLOAT_EQ(p.settings.tune->value.get(), 300.0f);
    p.settings.tune->setValue(450.0f, ParameterEditor::ui, ParameterEditorState::change);
    pumpMessages();
    EXPECT_FLOAT_EQ(p.settings.tune->value.get(), 450.0f);
    p.settings.tune->isBeingInteractivelyEdited.set(false);

    // Automation from another thread (the audio thread, say) arrives at the next poll.
    std::thread host([&] { node.setValue(node.normalise(-900.0f)); });
    host.join();
    for (int waited = 0; p.settings.tune->value.get() != -900.0f && waited < 2000; waited += 10)
        pumpMessages(10);  // the poll runs 60 times a second; allow a slow machine
    EXPECT_FLOAT_EQ(p.settings.tune->value.get(), -900.0f);
    node.removeListener(&ear);
}

TEST(ParameterLibrary, DependentsHearTheUnclampedValueAfterTheUpdateIsScheduled)
{
    Installed p;
    auto& node = p.settings.gain->auParameter();
    p.settings.setValue(40.0f, 7, ParameterEditor::parameterObserver);  // above the range
    ASSERT_EQ(p.settings.dependentCalls.size(), 1u);
    EXPECT_EQ(p.settings.dependentCalls[0], (std::pair<std::uint64_t, float>{7, 40.0f}));
    EXPECT_EQ(p.settings.gainValueAtDependentCall[0], 0.0f);  // scheduled, not yet applied
    pumpMessages();
    EXPECT_EQ(p.settings.gain->value.get(), 12.0f);
    EXPECT_EQ(p.unit.received.back(), (std::pair<std::uint64_t, float>{7, 40.0f}));  // unclamped to the unit

    // Through the tree too, and never for a parameter without dependents.
    node.setValue(node.normalise(-6.0f));
    EXPECT_EQ(p.settings.dependentCalls.size(), 2u);
    p.settings.tune->auParameter().setValue(0.75f);
    EXPECT_EQ(p.settings.dependentCalls.size(), 2u);

    // An unknown address still reaches the audio unit.
    p.settings.setValue(3.0f, 99, ParameterEditor::parameterObserver);
    EXPECT_EQ(p.unit.received.back(), (std::pair<std::uint64_t, float>{99, 3.0f}));
}

TEST(ParameterLibrary, TreeIsBuiltOnceAndValuesArePushed)
{
    Installed p;
    ASSERT_EQ(p.unit.getParameters().size(), 2);
    EXPECT_EQ(p.unit.getParameters()[0], &p.settings.gain->auParameter());
    EXPECT_EQ(p.settings.audioUnit(), &p.unit);
    const std::vector<std::pair<std::uint64_t, float>> pushed = {{7, 0.0f}, {8, 0.0f}};
    EXPECT_EQ(p.unit.received, pushed);

    // Configuring again keeps the tree the host knows and pushes the values again.
    p.settings.configureAudioUnit(p.unit);
    EXPECT_EQ(p.unit.getParameters().size(), 2);
    EXPECT_EQ(p.unit.received.size(), 4u);
    EXPECT_EQ(p.settings.pluginVersion(), "1.0.0");
}
