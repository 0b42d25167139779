#pragma once

#include <lv2/urid/urid.h>

/// The URIs the plug-in reads and writes, mapped once through the host's urid:map.
/// Read-only after construction; any thread.
struct Lv2Uris {
    /// The plug-in's URI (the build's SONDREL_LV2_URI, as the bundle's description says it).
    static constexpr const char* pluginUri = SONDREL_LV2_URI;
    static constexpr const char* uiUri = SONDREL_LV2_URI ":UI";
    /// The key the plug-in's state is kept under: the audio unit's state in JUCE's base64, as a
    /// string (the key and form JUCE's LV2 wrapper used, so that earlier sessions open).
    static constexpr const char* stateKeyUri = SONDREL_LV2_URI ":StateString";

    explicit Lv2Uris(const LV2_URID_Map& map);

    LV2_URID atomBlank;
    LV2_URID atomObject;
    LV2_URID atomSequence;
    LV2_URID atomString;
    LV2_URID atomInt;
    LV2_URID atomLong;
    LV2_URID atomFloat;
    LV2_URID atomDouble;
    LV2_URID midiEvent;
    LV2_URID timePosition;
    LV2_URID timeFrame;
    LV2_URID timeSpeed;
    LV2_URID timeBar;
    LV2_URID timeBarBeat;
    LV2_URID timeBeat;
    LV2_URID timeBeatUnit;
    LV2_URID timeBeatsPerBar;
    LV2_URID timeBeatsPerMinute;
    LV2_URID stateKey;
};
