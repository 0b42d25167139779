#include "Settings.h"

#include "MidiSondrelAudioUnit.h"

namespace {

std::shared_ptr<Wickerlamp::AudioParameter> makeMainMode()
{
    return std::make_shared<Wickerlamp::AudioParameter>(
        Settings::mainModeAddress, "mainMode", "Main Tab", Wickerlamp::ParameterUnit::indexed, 0.0f, 1.0f, 0.0f,
        juce::StringArray{"Events", "Chord And Scale"});
}

} // namespace

Settings::Settings() : mainMode(makeMainMode())
{
    setupParameters({mainMode});
}

Settings::~Settings()
{
    pollTimer.stopTimer();
}

void Settings::configureAudioUnit(Wickerlamp::WickerAudioUnit& au)
{
    ParameterSettings::configureAudioUnit(au);
    if (dynamic_cast<MidiSondrelAudioUnit*>(&au) != nullptr) {
        audioUnitForPolling = &au;
        pollTimer.stopTimer();
        pollTimer.startTimerHz(pollHz);
    }
}

void Settings::poll()
{
    auto* au = dynamic_cast<MidiSondrelAudioUnit*>(audioUnitForPolling.get());
    if (au == nullptr)
        return;
    // Keeps the render thread's queue short even while no window is open.
    au->kernel().midiRecorder->drain();
}
