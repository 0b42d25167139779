// The plug-in formats' factory: the audio unit with its parameter set, connected before the
// host sees either.

#include "MidiSondrelPlugin.h"

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter() { return new MidiSondrelPlugin(); }
