// The plug-in formats' factory: creates the audio unit with its parameter set and connects
// the two before the host sees either.

#include "MidiSondrelAudioUnit.h"
#include "Settings.h"

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    auto audioUnit = std::make_unique<MidiSondrelAudioUnit>();
    auto settings = std::make_unique<Settings>();
    Settings& parameterSet = *settings;
    audioUnit->adoptSettings(std::move(settings));
    parameterSet.configureAudioUnit(*audioUnit);
    parameterSet.setupParameterTreeListeners();
    return audioUnit.release();
}
