#include "Settings.h"

#include "MidiFileSaveDialog.h"
#include "MidiSondrelAudioUnit.h"

#ifndef SONDREL_UPDATE_SERVER
#define SONDREL_UPDATE_SERVER "https://updates.corvel.invalid"
#endif

namespace {

std::shared_ptr<Wickerlamp::AudioParameter> makeMainMode()
{
    return std::make_shared<Wickerlamp::AudioParameter>(Settings::mainModeAddress, "mainMode", "Main Tab",
                                                        Wickerlamp::ParameterUnit::indexed, 0.0f, 1.0f, 0.0f,
                                                        juce::StringArray{"Events", "Chord And Scale"});
}

}  // namespace

Settings::Settings() : mainMode(makeMainMode()), updates(SONDREL_UPDATE_SERVER) { setupParameters({mainMode}); }

Settings::~Settings() = default;

MidiFileSaveDialog& Settings::keepOpen(std::unique_ptr<MidiFileSaveDialog> dialog)
{
    return dialogs.keepOpen(std::move(dialog));
}

void Settings::configureAudioUnit(Wickerlamp::WickerAudioUnit& au)
{
    ParameterSettings::configureAudioUnit(au);
    auto* sondrel = dynamic_cast<MidiSondrelAudioUnit*>(&au);
    if (sondrel == nullptr)
        return;
    live.connect(*sondrel);
    // After the caller is done setting up (a host, a test, may still name another server).
    juce::MessageManager::callAsync([self = juce::WeakReference<Wickerlamp::ParameterSettings>(this)] {
        if (auto* settings = dynamic_cast<Settings*>(self.get()))
            settings->checkForUpdate();
    });
}
