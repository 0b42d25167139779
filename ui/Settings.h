#pragma once

#include "ParameterSettings.h"

#include <juce_events/juce_events.h>

#include <memory>

class MidiSondrelAudioUnit;

/// The plug-in's parameter set (one page parameter) and the window's live model.
/// Message thread.
class Settings final : public Wickerlamp::ParameterSettings {
public:
    static constexpr std::uint64_t mainModeAddress = 0;
    static constexpr int pollHz = 60;

    Settings();
    ~Settings() override;

    /// 0 shows the events page, 1 the chord-and-scale page.
    const std::shared_ptr<Wickerlamp::AudioParameter> mainMode;

    void configureAudioUnit(Wickerlamp::WickerAudioUnit& au) override;

    /// One turn of the 60 Hz poll: takes in what the render thread recorded.
    void poll();

    bool isPolling() const { return pollTimer.isTimerRunning(); }

private:
    struct PollTimer final : juce::Timer {
        Settings& owner;
        explicit PollTimer(Settings& s) : owner(s) {}
        void timerCallback() override { owner.poll(); }
    };

    juce::WeakReference<Wickerlamp::WickerAudioUnit> audioUnitForPolling;
    PollTimer pollTimer{*this};
};
