#include "Lv2Uris.h"

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

namespace {
LV2_URID mapped(const LV2_URID_Map& map, const char* uri) { return map.map(map.handle, uri); }
}  // namespace

Lv2Uris::Lv2Uris(const LV2_URID_Map& map)
    : atomBlank(mapped(map, LV2_ATOM__Blank)), atomObject(mapped(map, LV2_ATOM__Object)),
      atomSequence(mapped(map, LV2_ATOM__Sequence)), atomString(mapped(map, LV2_ATOM__String)),
      atomInt(mapped(map, LV2_ATOM__Int)), atomLong(mapped(map, LV2_ATOM__Long)),
      atomFloat(mapped(map, LV2_ATOM__Float)), atomDouble(mapped(map, LV2_ATOM__Double)),
      midiEvent(mapped(map, LV2_MIDI__MidiEvent)), timePosition(mapped(map, LV2_TIME__Position)),
      timeFrame(mapped(map, LV2_TIME__frame)), timeSpeed(mapped(map, LV2_TIME__speed)),
      timeBar(mapped(map, LV2_TIME__bar)), timeBarBeat(mapped(map, LV2_TIME__barBeat)),
      timeBeat(mapped(map, LV2_TIME__beat)), timeBeatUnit(mapped(map, LV2_TIME__beatUnit)),
      timeBeatsPerBar(mapped(map, LV2_TIME__beatsPerBar)), timeBeatsPerMinute(mapped(map, LV2_TIME__beatsPerMinute)),
      stateKey(mapped(map, stateKeyUri))
{}
