#include "ParameterSettings.h"

#include "Extensions.h"

#include <charconv>
#include <cmath>

namespace Wickerlamp {

namespace {
constexpr int pendingValuePollHz = 60;
}

ParameterSettings::ParameterSettings() = default;

ParameterSettings::~ParameterSettings() { stopTimer(); }

juce::String ParameterSettings::pluginVersion() const
{
#ifdef WICKERLAMP_PLUGIN_VERSION
    const juce::String version(WICKERLAMP_PLUGIN_VERSION);
    return version.isNotEmpty() ? version : juce::String("Unknown");
#else
    return "Unknown";
#endif
}

void ParameterSettings::setupParameters(std::vector<std::shared_ptr<AudioParameter>> list) { params = std::move(list); }

void ParameterSettings::configureAudioUnit(WickerAudioUnit& au)
{
    unit = &au;

    // JUCE trees own their nodes, so a tree can be built only once from a set of parameters;
    // configuring again keeps the tree the host already knows.
    if (!params.empty() && !params.front()->nodeIsInTree()) {
        juce::AudioProcessorParameterGroup tree;
        for (const auto& p : params)
            tree.addChild(p->takeNode());
        au.setParameterTree(std::move(tree));
    }

    for (const auto& p : params)
        au.setParameter(p->address, p->value.get());
}

void ParameterSettings::setupParameterTreeListeners()
{
    WickerAudioUnit* au = unit.get();
    if (au == nullptr || au->getParameters().isEmpty())
        return;

    juce::WeakReference<ParameterSettings> weak(this);
    for (auto* hosted : au->getParameters()) {
        auto* node = dynamic_cast<ParameterNode*>(hosted);
        if (node == nullptr)
            continue;
        node->implementorValueObserver = [weak](ParameterNode& n, float v) {
            if (auto* settings = weak.get())
                settings->setValue(v, n.address(), ParameterEditor::parameterObserver);
        };
        node->implementorStringFromValueCallback = [](const ParameterNode& n, const float* v) {
            return stringFromValue(n, v);
        };
        node->implementorValueFromStringCallback = [](const ParameterNode&, const juce::String& text) {
            return valueFromString(text);
        };
    }

    // Host changes that arrive off the message thread are picked up here.
    startTimerHz(pendingValuePollHz);
}

void ParameterSettings::setValue(float v, std::uint64_t address, ParameterEditor source)
{
    for (const auto& p : params) {
        if (p->address != address)
            continue;
        p->setValue(v, source, ParameterEditorState::change);
        if (p->dependentParameterAddresses && !p->dependentParameterAddresses->empty())
            updateDependentValues(address, v);
        break;
    }
    if (auto* au = unit.get())
        au->setParameter(address, v);
}

void ParameterSettings::updateDependentValues(std::uint64_t, float) {}

juce::String ParameterSettings::stringFromValue(const ParameterNode& node, const float* value)
{
    if (value == nullptr || std::isnan(*value))
        return "-";
    const float v = *value;
    const auto& strings = node.description().valueStrings;
    // Truncated toward zero; infinite and huge values are never an index.
    if (strings && std::isfinite(v) && v > -1.0f && v < static_cast<float>(strings->size()))
        return (*strings)[static_cast<int>(v)];
    return juce::String::formatted("%.f", static_cast<double>(v));
}

float ParameterSettings::valueFromString(const juce::String& text)
{
    // The whole text must be a number in the C locale; anything else, or a number beyond what a
    // float holds, reads as 0.
    const auto v = parseCNumber(text.toStdString());
    if (!v || (std::isfinite(*v) && std::abs(*v) > static_cast<double>(std::numeric_limits<float>::max())))
        return 0.0f;
    return static_cast<float>(*v);
}

void ParameterSettings::timerCallback()
{
    for (const auto& p : params)
        p->applyPendingValue();
}

}  // namespace Wickerlamp
