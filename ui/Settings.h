#pragma once

#include "LiveViewModel.h"
#include "OpenDialogs.h"
#include "ParameterSettings.h"
#include "UpdateCheck.h"

#include <memory>

class MidiFileSaveDialog;
class MidiSondrelAudioUnit;

/// The plug-in's settings, as the window and the audio unit know them, made of small parts:
/// - the parameter set (this class's base, with its one parameter, the page);
/// - `live`, the window's live model, which polls the kernel at 60 Hz;
/// - `updates`, the once-per-instance look at the update feed;
/// - `dialogs`, the save dialogs kept open.
///
/// Message thread, except what ParameterSettings says of its parameter setter.
class Settings final : public Wickerlamp::ParameterSettings {
public:
    static constexpr std::uint64_t mainModeAddress = 0;

    Settings();
    ~Settings() override;

    /// 0 shows the events page, 1 the chord-and-scale page.
    const std::shared_ptr<Wickerlamp::AudioParameter> mainMode;
    LiveViewModel live{*this};
    UpdateCheck updates;
    OpenDialogs dialogs;

    /// Builds the parameter tree on the audio unit; for the plug-in's own audio unit also starts
    /// the live model's poll and, one message-loop turn later, the update check.
    void configureAudioUnit(Wickerlamp::WickerAudioUnit& au) override;

    /// Looks at the update feed for a version newer than this one (see UpdateCheck).
    void checkForUpdate() { updates.checkForUpdate(pluginVersion()); }

    /// The audio unit the live model polls.
    MidiSondrelAudioUnit* sondrelAU() const { return live.sondrelAU(); }
    /// Keeps a save dialog until it is let go (when it closes, or with these settings).
    MidiFileSaveDialog& keepOpen(std::unique_ptr<MidiFileSaveDialog> dialog);
    void letGo(const MidiFileSaveDialog& dialog) { dialogs.letGo(dialog); }
};
