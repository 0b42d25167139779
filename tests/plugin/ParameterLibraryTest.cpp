// The parameter library: clamping and the echo rules between the window's controls and the
// host's parameter tree.

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

/// One parameter in cents, as a plug-in would declare it.
struct OneParameter final : Wickerlamp::ParameterSettings {
    std::shared_ptr<AudioParameter> tune = std::make_shared<AudioParameter>(8, "tune", "Tune", ParameterUnit::absoluteCents,
                                                                            -1200.0f, 1200.0f, 0.0f);
    OneParameter() { setupParameters({tune}); }
};

struct Installed {
    HookUnit unit;
    OneParameter settings;
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

} // namespace

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
