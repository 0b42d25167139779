#!/usr/bin/env bash
# Sets up the machine, builds MIDI Sondrel and installs it for the current user: the LV2 bundle
# in ~/.lv2, the VST3 bundle in ~/.vst3 and the standalone app as ~/.local/bin/midi-sondrel,
# then lists what a host will find. With a display, it also starts the standalone app.
# Usage: bash tools/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target MidiSondrel_LV2 MidiSondrel_VST3 MidiSondrel_Standalone
cmake --install build/release --prefix "$HOME"

echo
echo "Installed:"
echo "  LV2   $HOME/.lv2/MIDI Sondrel.lv2"
echo "  VST3  $HOME/.vst3/MIDI Sondrel.vst3"
echo "  app   $HOME/.local/bin/midi-sondrel"
echo
echo "LV2 hosts see:"
lv2ls | grep -F "urn:corvel:midi-sondrel" || echo "  (not listed: check LV2_PATH)"

if [ -n "${DISPLAY:-}" ]; then
  exec "$HOME/.local/bin/midi-sondrel"
fi
