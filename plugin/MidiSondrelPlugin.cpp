#include "MidiSondrelPlugin.h"

#include "AudioUnitViewController.h"
#include "Settings.h"

MidiSondrelPlugin::MidiSondrelPlugin() : parameterSet(std::make_unique<Settings>())
{
    parameterSet->configureAudioUnit(*this);
    parameterSet->setupParameterTreeListeners();
}

MidiSondrelPlugin::~MidiSondrelPlugin() = default;

juce::AudioProcessorEditor* MidiSondrelPlugin::createEditor()
{
    return new AudioUnitViewController(*this, *parameterSet);
}
