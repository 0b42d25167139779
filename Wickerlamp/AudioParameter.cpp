#include "AudioParameter.h"

#include <bit>
#include <cmath>

namespace Wickerlamp {

namespace {

constexpr std::uint64_t pendingFlag = std::uint64_t{1} << 40;
constexpr std::uint64_t pendingFromUi = std::uint64_t{1} << 32;

std::uint32_t flagsFor(std::int32_t units, const std::optional<juce::StringArray>& valueStrings,
                       const std::optional<std::vector<std::uint64_t>>& dependents)
{
    std::uint32_t flags = ParameterFlags::readable | ParameterFlags::writable;
    if (dependents && !dependents->empty())
        flags |= ParameterFlags::globalMeta | ParameterFlags::hasClump;
    if (valueStrings && !valueStrings->isEmpty())
        flags |= ParameterFlags::valuesHaveStrings;
    if (units == ParameterUnit::decibels || units == ParameterUnit::linearGain || units == ParameterUnit::absoluteCents)
        flags |= ParameterFlags::canRamp;
    return flags;
}

}  // namespace

juce::String displayableSuffix(std::int32_t units)
{
    switch (units) {
    case ParameterUnit::percent: return "%";
    case ParameterUnit::hertz: return "Hz";
    case ParameterUnit::decibels: return "dB";
    case ParameterUnit::milliseconds: return "MS";
    default: return {};
    }
}

AudioParameter::AudioParameter(std::uint64_t parameterAddress, juce::String parameterIdentifier,
                               juce::String displayName, std::int32_t unit, float lowerBound, float upperBound,
                               float initialValue, std::optional<juce::StringArray> names,
                               std::optional<std::vector<std::uint64_t>> dependents)
    : address(parameterAddress), identifier(std::move(parameterIdentifier)), name(std::move(displayName)), units(unit),
      minimum(lowerBound), maximum(upperBound), defaultValue(initialValue), valueStrings(std::move(names)),
      dependentParameterAddresses(std::move(dependents)), value(initialValue), mirror(initialValue),
      requested(initialValue)
{
    ParameterNode::Description d;
    d.address = address;
    d.identifier = identifier;
    d.name = name;
    d.units = units;
    d.minimum = minimum;
    d.maximum = maximum;
    d.defaultValue = defaultValue;
    d.unitName = Wickerlamp::displayableSuffix(units);
    d.flags = flagsFor(units, valueStrings, dependentParameterAddresses);
    d.valueStrings = valueStrings;
    d.dependentParameters = dependentParameterAddresses;
    ownedNode = std::make_unique<ParameterNode>(std::move(d));
    node = ownedNode.get();
    node->setValueQuietly(defaultValue);  // before any tree or observer exists

    mirrorToken = value.addObserver([this](const float& v) { mirror.store(v, std::memory_order_relaxed); });
}

// A node already in a host tree may outlive the parameter; its callbacks reach the parameter
// only through the parameter set, which they hold weakly.
AudioParameter::~AudioParameter() = default;

std::shared_ptr<AudioParameter> AudioParameter::dummyParam()
{
    return std::make_shared<AudioParameter>(0, "", "", ParameterUnit::customUnit, 0.0f, 0.0f, 0.0f);
}

std::unique_ptr<ParameterNode> AudioParameter::takeNode() { return std::move(ownedNode); }

float AudioParameter::clamp(float v) const noexcept
{
    // Written so that NaN ends at the lower bound.
    float c = minimum <= v ? v : minimum;
    return c <= maximum ? c : maximum;
}

void AudioParameter::setValue(float v, ParameterEditor source, ParameterEditorState state)
{
    const float c = clamp(v);
    if (c == requested.load(std::memory_order_relaxed) && state == ParameterEditorState::change)
        return;
    requested.store(c, std::memory_order_relaxed);

    if (source == ParameterEditor::ui)
        node->setValueFromImplementation(c, state);

    // `value` is only ever assigned on the message thread, one turn later.
    if (auto* mm = juce::MessageManager::getInstanceWithoutCreating(); mm != nullptr && mm->isThisTheMessageThread()) {
        juce::WeakReference<AudioParameter> weak(this);
        juce::MessageManager::callAsync([weak, c, source] {
            if (auto* self = weak.get())
                self->assign(c, source);
        });
    } else {
        // A host thread, perhaps the audio thread: no lock, no allocation. The latest change
        // waits for the owner's next poll.
        const std::uint64_t word = std::bit_cast<std::uint32_t>(c) | pendingFlag
            | (source == ParameterEditor::ui ? pendingFromUi : 0);
        pending.store(word, std::memory_order_release);
    }
}

void AudioParameter::applyPendingValue()
{
    const std::uint64_t word = pending.exchange(0, std::memory_order_acquire);
    if ((word & pendingFlag) == 0)
        return;
    const float c = std::bit_cast<float>(static_cast<std::uint32_t>(word & 0xFFFFFFFFu));
    assign(c, (word & pendingFromUi) != 0 ? ParameterEditor::ui : ParameterEditor::parameterObserver);
}

void AudioParameter::assign(float c, ParameterEditor source)
{
    if (isBeingInteractivelyEdited.peek() && source != ParameterEditor::ui) {
        // Refused while the user edits: what was asked for is what stays.
        float asked = c;
        requested.compare_exchange_strong(asked, value.peek(), std::memory_order_relaxed);
        return;
    }
    value.set(c);
}

float AudioParameter::displayableValue() const noexcept
{
    return units == ParameterUnit::absoluteCents ? value.get() / 100.0f : value.get();
}

juce::String AudioParameter::displayableSuffix() const { return Wickerlamp::displayableSuffix(units); }

float AudioParameter::displayScaleFactor() const noexcept
{
    return units == ParameterUnit::absoluteCents ? 100.0f : 1.0f;
}

float AudioParameter::saveScaleFactor() const noexcept { return units == ParameterUnit::absoluteCents ? 0.01f : 1.0f; }

float AudioParameter::percent() const noexcept { return (value.get() - minimum) / (maximum - minimum); }

}  // namespace Wickerlamp
